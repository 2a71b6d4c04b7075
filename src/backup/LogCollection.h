#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "backup/NamesFile.h"
#include "backup/StagingFolder.h"
#include "backup/StagingNames.h"
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
    std::wstring listingNote;       // processes the listing left running, if any
    std::size_t notFound = 0;       // logs known under the data folder that the listing missed
    std::size_t unchanged = 0;      // logs as they were when their entries were archived
    std::wstring fullRunReason;     // why every log was staged; empty when only changed ones were
};

// Lists the log files below dataDir, gives each its lasting staged name (kept in the
// names file beside the archive) and copies those that changed since their entries
// were archived, or every log when the records are in doubt, into the staging
// folder. The wait limits bound the listing and, when the names must be read from
// the archive, the archiver.
class LogCollection {
public:
    LogCollection(Platform& platform, std::wstring dataDir, std::wstring archivePath,
                  std::wstring workingFolder, StagingFolder& staging,
                  std::uint32_t listingTimeoutMs, std::uint32_t archiverTimeoutMs);

    StagingResult Stage();

    // Once the archiver's success is verified: records each copy's stamp and the
    // archive's identity. A failure when they could not be kept; the next run is then full.
    Status RecordArchived();

private:
    // The archive's full path as the file system folds it.
    std::wstring ArchiveKey();
    std::wstring FullRunReason(bool namesWhole);

    Platform& platform_;
    std::wstring dataDir_;
    std::wstring archivePath_;
    std::wstring workingFolder_;
    StagingFolder& staging_;
    std::uint32_t listingTimeoutMs_;
    std::uint32_t archiverTimeoutMs_;
    StagingNames names_;
    NamesFile namesFile_;
    bool fullRun_ = true;
    std::vector<std::pair<std::size_t, FileStamp>> copied_;  // entry, its log as copied
};

}  // namespace quarn
