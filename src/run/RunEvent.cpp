#include "run/RunEvent.h"

namespace quarn {

void ReportRunEvent(Platform& platform, ExitCode code, const RunSummary& summary,
                    const std::wstring& line, RunLogWrite written) {
    const bool doneButWarned =
        code == ExitCode::Done && (summary.notFound > 0 || written != RunLogWrite::Written);
    const bool warned = doneButWarned || code == ExitCode::LogsVanished ||
                        code == ExitCode::AnotherRunInProgress;
    if (code == ExitCode::Done && !warned) return;
    std::wstring text = line;
    if (written == RunLogWrite::Pending) {
        text += std::wstring(L"\r\n\r\n") + kRunLogFile +
                L" could not be written: this line waits in " + kPendingRunLogFile +
                L" for the next run.";
    } else if (written == RunLogWrite::Lost) {
        text += std::wstring(L"\r\n\r\nNeither ") + kRunLogFile + L" nor " + kPendingRunLogFile +
                L" could be written: this event is the only record of the run.";
    }
    // An event log that cannot be reached leaves nothing else to tell it to.
    static_cast<void>(platform.ReportToEventLog(kEventSource,
                                                warned ? EventKind::Warning : EventKind::Error,
                                                kEventIdBase + static_cast<std::uint32_t>(code),
                                                text));
}

}  // namespace quarn
