#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "backup/StagingFolder.h"
#include "platform/Platform.h"

namespace quarn {

struct NotCopied {
    std::wstring path;
    std::wstring reason;  // the system's words, then what was archived of the log instead
};

struct StagingResult {
    std::vector<NotCopied> notCopied;
    std::size_t copied = 0;         // logs copied afresh in this run
    std::size_t earlierCopies = 0;  // of logs that could not be copied: an earlier run's copy
    std::size_t leftovers = 0;      // an earlier run's copies of logs that are gone
    std::wstring namesNote;         // what happened to the names file, when anything did
    std::size_t notFound = 0;       // logs known under the data folder that the listing missed
};

// Lists the log files below dataDir, gives each its lasting staged name (kept in the
// names file beside the archive) and copies it into the staging folder. The wait
// limits bound the listing and, when the names must be read from the archive, the
// archiver.
StagingResult CollectLogFiles(Platform& platform, const std::wstring& dataDir,
                              const std::wstring& archivePath, const std::wstring& workingFolder,
                              StagingFolder& staging, std::uint32_t listingTimeoutMs,
                              std::uint32_t archiverTimeoutMs);

}  // namespace quarn
