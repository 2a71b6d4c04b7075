#include "run/RunRecord.h"

#include <exception>

#include "run/RunEvent.h"

namespace quarn {

void RecordRun(Platform& platform, const std::wstring& programFolder, ExitCode code,
               const RunSummary& summary, std::uint64_t elapsedMs, const std::wstring& stopText,
               RunLogRollOver rollOver) {
    try {
        const std::wstring line = RunLogLine(platform.Now(), code, summary, elapsedMs, stopText);
        const RunLogWrite written =
            AppendRunLog(platform, programFolder, RunLogRecord(line, summary), rollOver);
        ReportRunEvent(platform, code, summary, line, written);
    } catch (const std::exception&) {
        // Out of memory: the exit code is all that is left to tell.
    }
}

}  // namespace quarn
