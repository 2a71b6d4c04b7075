#pragma once

#include <cstdint>

#include "platform/Platform.h"

namespace quarn {

// How long the run waits for its child processes before it ends them.
struct WaitLimits {
    std::uint32_t listingMs = 30 * 60 * 1000;
    std::uint32_t archiverMs = 4 * 60 * 60 * 1000;
};

// Tests shorten each wait to this many seconds; the README documents them.
inline constexpr wchar_t kListingLimitVariable[] = L"QUARN_TEST_LISTING_SECONDS";
inline constexpr wchar_t kArchiverLimitVariable[] = L"QUARN_TEST_ARCHIVER_SECONDS";

// The limits, each shortened by its variable when that holds a whole number of
// seconds, up to five digits; a variable can only ever shorten a wait.
WaitLimits ReadWaitLimits(Platform& platform);

}  // namespace quarn
