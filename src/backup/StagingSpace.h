#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace quarn {

// Room kept free beyond the copies themselves: a drive filled to its last byte
// fails whatever writes next, the archiver and the system included.
inline constexpr std::uint64_t kStagingSpaceMarginBytes = 16ULL * 1024 * 1024;
// Each copy takes whole clusters.
inline constexpr std::uint64_t kClusterBytes = 4096;

// Stops the run when the staging folder's drive cannot hold a copy of every log
// with the margin to spare. A log whose size cannot be read counts for nothing:
// its copy fails on its own.
void CheckStagingSpace(Platform& platform, const std::vector<std::wstring>& logs,
                       const std::wstring& stagingFolder);

}  // namespace quarn
