#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Platform.h"

namespace quarn {

// Room kept free beyond the copies themselves: a drive filled to its last byte
// fails whatever writes next, the archiver and the system included.
inline constexpr std::uint64_t kStagingSpaceMarginBytes = 16ULL * 1024 * 1024;
// Each copy takes whole clusters.
inline constexpr std::uint64_t kClusterBytes = 4096;

// The room a copy of the log takes on the drive. A log whose size cannot be read
// counts for nothing: its copy fails on its own.
std::uint64_t SpaceForCopy(Platform& platform, const std::wstring& log);

// Stops the run when the staging folder's drive cannot hold the copies of the logs,
// copyBytes in all, with the margin to spare.
void CheckStagingSpace(Platform& platform, std::size_t logs, std::uint64_t copyBytes,
                       const std::wstring& stagingFolder);

}  // namespace quarn
