#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace quarn {

inline constexpr wchar_t kBatchFile[] = L"QuarnBackup.bat";
inline constexpr wchar_t kListFile[] = L"filelist.tmp";
inline constexpr wchar_t kMarkerFile[] = L"done.tmp";
// The archiver works in a folder of the program's own, so that it never sees (and
// never deletes) a file that is not one of our copies.
inline constexpr wchar_t kStagingFolder[] = L"QuarnStaging";
// A copy is made under this name in the staging folder and then renamed to its
// staged name, so that a run ended midway never leaves half a log under a log's name.
inline constexpr wchar_t kCopyInProgress[] = L"copying.tmp";
// The copies are spread over this many subfolders of the staging folder, by their
// names. Some file systems search a whole folder for each new name (Wine matches
// names without case that way): small folders keep each copy as cheap at 20,000
// logs as at 200.
inline constexpr unsigned kStagingSubfolders = 64;

// Puts a path in quotes for a batch file line, with "%" doubled: the interpreter
// expands "%" even inside quotes, and acts on nothing else there.
std::wstring QuotedForBatch(const std::wstring& path);

// The two lines of QuarnBackup.bat: list every log file below the data directory,
// hidden and system files included, into filelist.tmp in the working folder, then
// write the marker. The listing runs in the data directory, so the data directory
// never reaches an inner command line, and "cmd /u" writes the list as UTF-16 on
// every system.
std::vector<std::wstring> ListingBatchLines(const std::wstring& dataDir,
                                            const std::wstring& workingFolder);

// True for a name with the extension .bkl or .bks. "dir *.bkl" also matches names
// such as "in.bkl_old" through their short names; those are not logs.
bool IsLogFileName(const std::wstring& path);

// The containing folder's name without dots, then the file name
// ("D:\Mail\acct.one\in.bkl" gives "acctonein.bkl"); none for a path without "\".
std::optional<std::wstring> FlattenedName(const std::wstring& fullPath);

// Lists the log files below dataDir through the batch file, waiting at most
// timeoutMs for it, from and into the working folder, and hands each log's full
// path to eachLog in the order of the list. Stops the run when the listing fails.
void ListLogFiles(Platform& platform, const std::wstring& dataDir, std::uint32_t timeoutMs,
                  const std::function<void(const std::wstring&)>& eachLog);

// Creates the staging folder below the working folder when it is missing and
// removes a half-made copy that a run ended midway left there. Returns its path.
std::wstring PrepareStagingFolder(Platform& platform, const std::wstring& workingFolder);

// The subfolder of the staging folder that holds the copy of this staged name:
// "00" to "3f", always the same for the same name.
std::wstring StagingSubfolder(const std::wstring& stagedName);

// Copies one log into its subfolder of the staging folder under its staged name, as
// a plain file. Returns 0 or the system's error code.
std::uint32_t CopyLogFile(Platform& platform, const std::wstring& fullPath,
                          const std::wstring& stagingFolder, const std::wstring& stagedName);

// How many log copies wait in the staging folder and its subfolders.
std::size_t CopiesIn(Platform& platform, const std::wstring& stagingFolder);

struct NotCopied {
    std::wstring path;
    std::wstring reason;  // the system's words
};

struct StagingResult {
    std::vector<NotCopied> notCopied;
    std::wstring namesNote;  // set when the names file had to be made anew
};

// Lists the log files below dataDir, gives each its lasting staged name (kept in the
// names file in the working folder) and copies it into the staging folder.
StagingResult CollectLogFiles(Platform& platform, const std::wstring& dataDir,
                              std::uint32_t listingTimeoutMs, const std::wstring& workingFolder,
                              const std::wstring& stagingFolder);

}  // namespace quarn
