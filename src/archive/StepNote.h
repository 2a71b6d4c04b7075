#pragma once

#include <string>

#include "platform/Platform.h"

namespace quarn {

// What the run log should say when processes that a step (the listing, the
// archiver) started were still running after the step was ended; empty when none.
std::wstring LeftRunningNote(Platform& platform, const ProcessEnd& end, const std::wstring& step);

}  // namespace quarn
