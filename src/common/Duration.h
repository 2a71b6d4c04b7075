#pragma once

#include <cstdint>
#include <string>

namespace quarn {

// "4 hours", "30 minutes", "90 seconds": the largest unit that is exact.
std::wstring DurationText(std::uint32_t milliseconds);

}  // namespace quarn
