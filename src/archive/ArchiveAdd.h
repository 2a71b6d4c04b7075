#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Platform.h"

namespace quarn {

// What the archiver did when it added the copies, also when it failed.
struct CopiesAdded {
    std::size_t archived = 0;  // copies it took away
    std::uint32_t exitCode = 0;
    std::wstring note;         // for the run log: processes it left running
};

// Runs the archiver in the staging folder to add its copies to the archive, waiting
// at most timeoutMs, and says what it did. Stops the run, with the note in the stop,
// unless the archiver took every copy with success, or ended with a warning or a
// checksum error, which only reading the archive back can judge.
CopiesAdded RunArchiver(Platform& platform, const std::wstring& archivePath,
                        const std::wstring& stagingFolder, std::uint32_t timeoutMs);

}  // namespace quarn
