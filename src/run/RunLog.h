#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/RunStopped.h"
#include "platform/Platform.h"

namespace quarn {

inline constexpr wchar_t kRunLogFile[] = L"QuarnBackup.log";
inline constexpr wchar_t kOldRunLogFile[] = L"QuarnBackup.old.log";
// Lines that could not reach the run log wait here for the next run that can write it.
inline constexpr wchar_t kPendingRunLogFile[] = L"QuarnBackup.pending.log";
inline constexpr std::uint64_t kRunLogRollOverBytes = 1024ULL * 1024;
// A line stays under 4 KB, also once marked late: editors and log readers choke on more.
inline constexpr std::size_t kRunLogLineBytes = 3900;

// What a run did, for its line in the run log.
struct RunSummary {
    std::wstring archivePath;  // empty until the settings are read
    std::size_t archived = 0;     // confirmed in the archive, read back
    std::size_t notArchived = 0;  // staged, but not in the archive when the run ended
    std::vector<std::wstring> notCopied;  // "path: reason" of each log that could not be copied
    std::size_t notFound = 0;             // logs known before that the listing did not find
    std::optional<std::size_t> unchanged;  // set once the logs were compared with their records
    std::wstring fullRunReason;            // why every log was archived; empty when not
    bool archiverSkipped = false;          // nothing to archive: the archiver was not started
    std::wstring note;  // something the user should know although the run went on
};

// "2026-12-07 23:00:04  exit 0  archived 12 changed logs (1,222 unchanged) to C:\B\x.rar
// in 12.3 s" (or "full run (why): archived 1,234 logs", or "nothing changed (1,234 logs
// unchanged, the archiver was not started) for C:\B\x.rar"), how many known logs were not found, then
// the note and the text of the run's error box, line breaks folded, cut to
// kRunLogLineBytes of UTF-8.
std::wstring RunLogLine(const LocalTime& at, ExitCode code, const RunSummary& summary,
                        std::uint64_t elapsedMs, const std::wstring& stopText);

// The line, then "  not copied: <path>: <reason>" for every log that could not be
// copied: the box names only the first few. Every line ends in CR LF.
std::wstring RunLogRecord(const std::wstring& line, const RunSummary& summary);

enum class RunLogWrite { Written, Pending, Lost };
// Two runs that both rolled the log over would lose the older history.
enum class RunLogRollOver { Allowed, NotNow };

// Appends the record in one write, so that two runs never mix their lines, after
// the lines that earlier runs left pending, each marked late. A new file starts
// with a byte-order mark; past 1 MiB, where allowed, the log becomes the old log
// first. A log that cannot be written leaves the record in the pending file (up to
// 1 MiB of it).
RunLogWrite AppendRunLog(Platform& platform, const std::wstring& folder,
                         const std::wstring& record, RunLogRollOver rollOver);

}  // namespace quarn
