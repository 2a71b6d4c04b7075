#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/Platform.h"

namespace quarn {

inline constexpr wchar_t kBatchFile[] = L"QuarnBackup.bat";
inline constexpr wchar_t kListFile[] = L"filelist.tmp";
inline constexpr wchar_t kMarkerFile[] = L"done.tmp";
// The data folder reaches the batch file only through this variable of its
// environment: the batch file's own text stays ASCII, whatever the code page.
inline constexpr wchar_t kDataDirVariable[] = L"QUARN_DATA_DIR";
// Without the user's AutoRun command (/d) or delayed expansion (/v:off), which would
// move the listing elsewhere or eat the "!" of a path; "/u" writes the list as UTF-16
// on every system.
// The system's own cmd.exe, by its full path: never one that a current folder offers.
std::wstring ListingCommand(const std::wstring& systemFolder);

// The text of QuarnBackup.bat: list every log file below the data folder, hidden and
// system files included, by their full paths into filelist.tmp in the folder it runs in,
// then write the marker.
std::string ListingBatchText();

// True for a name with the extension .bkl or .bks. "dir *.bkl" also matches names
// such as "in.bkl_old" through their short names; those are not logs.
bool IsLogFileName(const std::wstring& path);

// Lists the log files below dataDir (a full path ending in "\\") through the batch
// file, waiting at most timeoutMs for it, run in and writing into the program's
// folder, and hands each log's full path to eachLog in the order of the list.
// Stops the run when the listing fails or lists a path outside the data folder.
// Returns what the run log should say about processes it left running, if anything.
std::wstring ListLogFiles(Platform& platform, const std::wstring& dataDir,
                          const std::wstring& programFolder, std::uint32_t timeoutMs,
                          const std::function<void(const std::wstring&)>& eachLog);

}  // namespace quarn
