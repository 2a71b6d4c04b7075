#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "archive/ArchiveAdd.h"
#include "archive/ArchiveContents.h"
#include "archive/ArchiveRename.h"
#include "names/NamesFile.h"
#include "names/StagingNames.h"
#include "platform/Platform.h"
#include "staging/StagingFolder.h"

namespace quarn {

struct NotCopied {
    std::wstring path;
    std::wstring reason;  // the system's words, then what was archived of the log instead
};

struct StagingResult {
    std::vector<NotCopied> notCopied;
    std::size_t copied = 0;          // logs copied afresh in this run
    std::size_t earlierCopies = 0;   // of logs that could not be copied: an earlier run's copy
    std::size_t leftovers = 0;       // an earlier run's copies of logs that are gone
    std::size_t staleLeftovers = 0;  // a beginning of what the archive holds: removed, not archived
    std::size_t rewritten = 0;       // entries that are not their copy's beginning: kept under dated names
    std::size_t carried = 0;         // entries of the archive set aside, for the new one
    std::vector<std::wstring> lost;  // entries the archive set aside no longer yields whole
    std::wstring namesNote;          // what happened to the names list, when anything did
    std::wstring listingNote;        // processes the listing left running, if any
    std::size_t notFound = 0;        // logs known under the data folder first missed this run
    std::size_t unchanged = 0;       // logs as they were when their entries were archived
    std::wstring fullRunReason;      // why every log was staged; empty when only changed ones were
    std::optional<std::wstring> damage;  // the archive is damaged: nothing was staged
};

// What the archive, read back after the archiver, holds of what the run added.
struct Confirmation {
    std::size_t confirmed = 0;          // copies of this run's logs, as copied now
    std::size_t confirmedEarlier = 0;   // copies that earlier runs left
    std::vector<std::wstring> missing;  // names whose copy the archive does not hold as staged
    std::optional<std::wstring> damage;  // the archive is damaged
    // In a new archive for one set aside: names the list held that it does not hold.
    std::vector<std::wstring> forgotten;
    Status recorded;  // keeping the records of what the archive holds
};

// Lists the log files below dataDir, gives each its lasting staged name (kept in the
// names list beside the archive) and copies those that changed since their entries
// were confirmed, or every log when the records are in doubt, into the staging
// folder; after the archiver, reads the archive back and records only what it holds.
// A log that was rewritten rather than grown keeps what the archive held of it under
// a dated name. The wait limits bound the listing and the archiver's runs.
class LogCollection {
public:
    LogCollection(Platform& platform, std::wstring dataDir, std::wstring archivePath,
                  std::wstring programFolder, StagingFolder& staging,
                  std::uint32_t listingTimeoutMs, std::uint32_t archiverTimeoutMs,
                  std::wstring forcedFullRunReason = {}, std::wstring setAside = {});

    StagingResult Stage();

    // Before the archiver: gives every entry that is not the beginning of the copy
    // that will replace it a dated name of its own, and confirms it there.
    void KeepRewrittenVersions();

    // After the archiver (if it ran; with its exit code): reads the archive back,
    // records each log whose entry holds its copy, takes the record away from every
    // other log that was staged or could not be copied, and marks the run finished.
    Confirmation ConfirmArchived(bool archiverRan, std::uint32_t archiverExitCode);

    // What the run log should say about processes the archiver's runs left running.
    std::wstring Notes() const;

private:
    // What a copy of this run must be found as in the archive.
    struct Staged {
        std::wstring name;
        ContentCheck content;
        std::optional<std::size_t> log;       // the log's entry, when the copy is of a known log
        std::optional<EntryRecord> record;    // what to record once the copy is confirmed
        bool fresh = false;                   // copied by this run
        std::wstring path;                    // where an earlier run's copy waits
        bool leftover = false;                // of a log this run did not try to copy
        std::size_t notCopied = 0;            // else its log's place among those not copied
    };
    // An entry that is no beginning of the copy that takes its name.
    struct Replaced {
        std::size_t name;
        ArchiveEntry held;
    };

    // An archive's entries by their names as the file system folds them; a name held
    // twice is there twice, first as first.
    using EntriesByName = std::multimap<std::wstring, ArchiveEntry>;
    EntriesByName ByFoldedName(std::vector<ArchiveEntry> entries) const;
    // The first entry the archive held under the name before this run, if any.
    const ArchiveEntry* HeldBefore(const std::wstring& name) const;
    std::wstring& NoteSlot();
    std::wstring ArchiveKey();
    std::wstring ThisComputer();
    void RefuseAnotherComputersList(const std::wstring& computer);
    std::wstring FullRunReason(bool namesWhole, bool leftovers);
    void ReadArchiveWhole(StagingResult& result, bool namesWhole);
    // What the archive holds before anything is added; false when it is damaged.
    bool ReadArchiveBefore(StagingResult& result);
    std::vector<std::size_t> ListAndName(StagingResult& result);
    void MarkMissing(StagingResult& result, const std::vector<std::size_t>& listed);
    void CopyChanged(StagingResult& result, const std::vector<std::size_t>& changed);
    void TakeLeftovers(StagingResult& result);
    // Earlier runs' copies whose entries are not their beginning: one older than its
    // entry (a beginning of it) is removed, any other keeps the entry's past.
    void SettleEarlierCopies(StagingResult& result);
    void CarryOverFromSetAside(StagingResult& result);
    // Records the archive as this run leaves it and saves the list.
    Status RecordOutcome(bool allConfirmed);

    Platform& platform_;
    std::wstring dataDir_;
    std::wstring archivePath_;
    std::wstring programFolder_;
    StagingFolder& staging_;
    std::uint32_t listingTimeoutMs_;
    std::uint32_t archiverTimeoutMs_;
    std::wstring forcedFullRunReason_;
    std::wstring setAside_;  // a damaged archive this run replaces, when there is one
    StagingNames names_;
    NamesFile namesFile_;
    std::int64_t today_ = 0;
    std::wstring computer_;
    bool archiveExists_ = false;
    bool fullRun_ = true;
    bool testedWhole_ = false;
    // What the archive held before this run, by folded name: read whenever the run
    // adds anything.
    std::optional<EntriesByName> before_;
    std::vector<Staged> staged_;
    std::vector<std::size_t> notCopied_;  // entries of logs whose copy failed
    std::vector<Replaced> rewritten_;     // entries whose content is to be kept
    std::vector<std::wstring> notes_;
};

}  // namespace quarn
