#pragma once

#include <cstdint>
#include <functional>
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

// Lists the log files below dataDir through the batch file, waiting at most
// timeoutMs for it, from and into the working folder, and hands each log's full
// path to eachLog in the order of the list. Stops the run when the listing fails.
void ListLogFiles(Platform& platform, const std::wstring& dataDir, std::uint32_t timeoutMs,
                  const std::function<void(const std::wstring&)>& eachLog);

}  // namespace quarn
