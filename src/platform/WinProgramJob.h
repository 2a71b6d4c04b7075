#pragma once

#include <cstdint>

#include "platform/Result.h"

namespace quarn {

// Makes the calling process a member of a kill-on-close job of its own, once per
// process; every later child is then born inside that job. When the program ends,
// however it ends (Task Scheduler's "end task" included), the system closes the
// program's handle to the job and so ends every process the program started. The
// handle is never closed by the program: that would end the program itself.
// Fails with the system's reason where it refuses, as Windows 7 does for a process that
// already runs in a job, since it knows no nested jobs.
Status JoinProgramJob();

}  // namespace quarn
