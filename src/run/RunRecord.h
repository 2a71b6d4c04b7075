#pragma once

#include <cstdint>
#include <string>

#include "common/RunStopped.h"
#include "platform/Platform.h"
#include "run/RunLog.h"

namespace quarn {

// Leaves the run's record: its line in the run log in programFolder, then, where it
// failed or warned, its event. The run's outcome stands without its record, so
// nothing here stops anything. Only a run that holds the program folder's lock may
// roll the run log over.
void RecordRun(Platform& platform, const std::wstring& programFolder, ExitCode code,
               const RunSummary& summary, std::uint64_t elapsedMs, const std::wstring& stopText,
               RunLogRollOver rollOver);

}  // namespace quarn
