#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace quarn {

inline constexpr wchar_t kBatchFile[] = L"QuarnBackup.bat";
inline constexpr wchar_t kListFile[] = L"filelist.tmp";
inline constexpr wchar_t kMarkerFile[] = L"done.tmp";

// Puts a path in quotes for a batch file line, with "%" doubled: the interpreter
// expands "%" even inside quotes, and acts on nothing else there.
std::wstring QuotedForBatch(const std::wstring& path);

// The two lines of QuarnBackup.bat: list every log file below the data directory
// into filelist.tmp in the working folder, then write the marker. The listing runs
// in the data directory, so the data directory never reaches an inner command line,
// and "cmd /u" writes the list as UTF-16 on every system.
std::vector<std::wstring> ListingBatchLines(const std::wstring& dataDir,
                                            const std::wstring& workingFolder);

// True for a name with the extension .bkl or .bks. "dir *.bkl" also matches names
// such as "in.bkl_old" through their short names; those are not logs.
bool IsLogFileName(const std::wstring& path);

// The containing folder's name without dots, then the file name
// ("D:\Mail\acct.one\in.bkl" gives "acctonein.bkl"); none for a path without "\".
std::optional<std::wstring> FlattenedName(const std::wstring& fullPath);

// Hands out the staged names of one run. Two different files with the same
// flattened name both keep their data: the later one gets "~2" (then "~3", ...)
// before its extension.
class StagingNames {
public:
    explicit StagingNames(Platform& platform) : platform_(platform) {}
    std::wstring Claim(const std::wstring& source, const std::wstring& flattenedName);

private:
    bool Taken(const std::wstring& name) const;

    Platform& platform_;
    std::vector<std::pair<std::wstring, std::wstring>> claimed_;  // source, name
};

enum class CopyResult { Staged, NotALogFile, Failed };

// Copies one listed log file into the working folder under its staged name.
CopyResult CopyLogFile(Platform& platform, const std::wstring& fullPath, StagingNames& names);

// Lists the log files below dataDir through the batch file and stages a copy of
// each. Returns the files that could not be copied.
std::vector<std::wstring> CollectLogFiles(Platform& platform, const std::wstring& dataDir);

}  // namespace quarn
