#pragma once

#include <cstdint>
#include <string>

#include "common/RunStopped.h"
#include "platform/Platform.h"
#include "run/RunLog.h"

namespace quarn {

inline constexpr wchar_t kEventSource[] = L"QuarnLogBackup";
// Event IDs are this plus the exit code: 100 is a run that succeeded with a warning.
inline constexpr std::uint32_t kEventIdBase = 100;

// Reports a run that failed or warned, or whose line did not reach the run log, as
// one event in the Application log, carrying the run's line. Other runs report nothing.
void ReportRunEvent(Platform& platform, ExitCode code, const RunSummary& summary,
                    const std::wstring& line, RunLogWrite written);

}  // namespace quarn
