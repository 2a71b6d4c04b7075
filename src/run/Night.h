#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/ArchiveContents.h"
#include "names/NamesFile.h"
#include "names/StagingNames.h"
#include "platform/Platform.h"
#include "run/RunKind.h"
#include "staging/StagedCopies.h"
#include "staging/StagingFolder.h"

namespace quarn {

// Where a night works, fixed for its length.
struct NightPlace {
    std::wstring dataDir;        // a full path ending in "\"
    std::wstring archivePath;
    std::wstring programFolder;
    std::uint32_t listingTimeoutMs = 0;
    std::uint32_t archiverTimeoutMs = 0;
    std::wstring setAside;       // a damaged archive tonight replaces, if any
};

// What staging found, for the run log and the boxes.
struct StagingResult {
    std::vector<NotCopied> notCopied;
    std::size_t copied = 0;          // logs copied afresh tonight
    std::size_t earlierCopies = 0;   // of logs that could not be copied: an earlier night's copy
    std::size_t leftovers = 0;       // earlier nights' copies of logs that are gone
    std::size_t staleLeftovers = 0;  // a beginning of what the archive holds: removed, not archived
    std::size_t rewritten = 0;       // entries that are not their copy's beginning: kept under dated names
    std::size_t carried = 0;         // entries of the archive set aside, for the new one
    std::vector<std::wstring> lost;  // entries the archive set aside no longer yields whole
    std::wstring namesNote;          // what happened to the names list, when anything did
    std::wstring listingNote;        // processes the listing left running, if any
    std::size_t notFound = 0;        // logs known under the data folder first missed tonight
    std::size_t unchanged = 0;       // logs as they were when their entries were archived
    std::wstring fullRunReason;      // why every log was staged; empty when only changed ones were
    std::optional<std::wstring> damage;  // the archive is damaged: nothing was staged
};

// What the archive, read back after the archiver, holds of what tonight added.
struct Confirmation {
    std::size_t confirmed = 0;          // copies of tonight's logs, as copied now
    std::size_t confirmedEarlier = 0;   // copies that earlier nights left
    std::vector<std::wstring> missing;  // names whose copy the archive does not hold as staged
    std::optional<std::wstring> damage;  // the archive is damaged
    // In a new archive for one set aside: names the list held that it does not hold.
    std::vector<std::wstring> forgotten;
    Status recorded;  // keeping the records of what the archive holds
};

// What one step of the night hands the next.
struct Tonight {
    Tonight(Platform& platform, const NightPlace& place)
        : names(platform), namesFile(platform, place.archivePath, place.programFolder) {}

    StagingNames names;
    NamesFile namesFile;
    std::int64_t today = 0;
    std::wstring computer;
    RunKind kind;
    bool testedWhole = false;
    std::optional<EntriesByName> before;  // what the archive held before anything was added
    StagedCopies staged;
    StagingResult result;
    std::vector<std::wstring> notes;  // for the run log: processes steps left running

    std::wstring& Note() { return notes.emplace_back(); }
    std::wstring Notes() const;
};

// The night's first half: decides the kind of run, lists the logs and names each,
// finds what changed and stages it, judging every copy by the entry it replaces.
Tonight StageNight(Platform& platform, const NightPlace& place, StagingFolder& staging);

// Before the archiver: gives every entry that is no beginning of its copy a dated name
// of its own, and confirms it there.
void KeepThePast(Platform& platform, const NightPlace& place, const std::wstring& stagingFolder,
                 Tonight& night);

// After the archiver (if it ran; with its exit code): reads the archive back, records
// each log whose entry holds its copy, takes the record away from every other log that
// was staged or could not be copied, and marks the run finished.
Confirmation ConfirmNight(Platform& platform, const NightPlace& place, Tonight& night,
                          bool archiverRan, std::uint32_t archiverExitCode);

}  // namespace quarn
