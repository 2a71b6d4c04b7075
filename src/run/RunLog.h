#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/RunStopped.h"
#include "platform/Platform.h"

namespace quarn {

inline constexpr wchar_t kRunLogFile[] = L"QuarnBackup.log";
inline constexpr wchar_t kOldRunLogFile[] = L"QuarnBackup.old.log";
inline constexpr std::uint64_t kRunLogRollOverBytes = 1024ULL * 1024;

// What a run did, for its line in the run log.
struct RunSummary {
    std::wstring archivePath;  // empty until the settings are read
    std::size_t archived = 0;
    std::size_t notCopied = 0;
    std::wstring note;  // something the user should know although the run went on
};

// "2026-12-07 23:00:04  exit 0  archived 1234 logs to C:\B\x.rar in 12.3 s", then
// the note and the text of the run's error box, line breaks folded.
std::wstring RunLogLine(const LocalTime& at, ExitCode code, const RunSummary& summary,
                        std::uint64_t elapsedMs, const std::wstring& stopText);

// Appends one line in one write, so that two runs never mix their lines. A new
// file starts with a byte-order mark; past 1 MiB the log becomes the old log
// first. A log that cannot be written is passed over.
void AppendRunLog(Platform& platform, const std::wstring& folder, const std::wstring& line);

}  // namespace quarn
