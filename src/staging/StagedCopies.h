#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/ArchiveContents.h"
#include "names/StagingNames.h"
#include "platform/Platform.h"
#include "staging/StagingFolder.h"

namespace quarn {

struct NotCopied {
    std::wstring path;
    std::wstring reason;  // the system's words, then what was archived of the log instead
};

// A copy waiting for the archiver, and what the archive must be found holding of it.
struct StagedCopy {
    std::wstring name;
    ContentCheck content;
    std::optional<std::size_t> log;     // the log's entry, when the copy is of a known log
    std::optional<EntryRecord> record;  // what to record once the copy is confirmed
    bool fresh = false;                 // copied tonight
    std::wstring path;                  // where an earlier night's copy waits
    bool leftover = false;              // of a log tonight did not try to copy
    std::size_t notCopied = 0;          // else its log's place among those not copied
};

// An entry that is no beginning of the copy that takes its name: its content is kept
// under a dated name first.
struct ReplacedEntry {
    std::size_t name;  // in the names list
    ArchiveEntry held;
};

// What staging leaves for the archiver, and what it found.
struct StagedCopies {
    std::vector<StagedCopy> copies;
    std::vector<std::size_t> failedLogs;  // entries of logs whose copy failed
    std::vector<ReplacedEntry> replaced;
    std::vector<NotCopied> notCopied;
    std::size_t copied = 0;          // logs copied afresh
    std::size_t earlierCopies = 0;   // of logs that could not be copied: an earlier night's copy
    std::size_t leftovers = 0;       // earlier nights' copies of logs that are gone
    std::size_t staleLeftovers = 0;  // a beginning of what the archive holds: removed, not archived
    std::size_t carried = 0;         // entries of an archive set aside, for the new one
    std::vector<std::wstring> lost;  // entries the archive set aside no longer yields whole
};

// Extracts the named entries of archive into the folder beside the staging folder where
// entries are checked (kEntryCheckFolder), each file of those names removed first, so
// that only what comes out now is found there; returns that folder. Where the folder
// cannot be made, nothing is extracted and the caller finds nothing to vouch for.
std::wstring ExtractToCheck(Platform& platform, const std::wstring& archive,
                            const std::vector<std::wstring>& names, const std::wstring& programFolder,
                            std::uint32_t timeoutMs, const std::wstring& consequence, std::wstring& note);

// Copies the changed logs, each judged by the entry it replaces (before): an entry that
// is not the copy's beginning is to keep its content. A log whose copy fails sends an
// earlier night's copy of it instead, where there is one.
void CopyChangedLogs(Platform& platform, StagingFolder& staging, const StagingNames& names,
                     const std::vector<std::size_t>& changed, const EntriesByName& before,
                     StagedCopies& staged);

// Earlier nights' copies of logs tonight did not copy: each goes to the archive once.
void TakeLeftovers(Platform& platform, StagingFolder& staging, const StagingNames& names,
                   const EntriesByName& before, StagedCopies& staged);

// Earlier nights' copies whose entries are not their beginning: the entry's own bytes,
// extracted from entriesFrom into a folder beside the staging folder, tell. One that is
// a beginning of its entry is older than it and removed; any other keeps the entry's
// content first.
void SettleEarlierCopies(Platform& platform, StagingFolder& staging, const StagingNames& names,
                         const EntriesByName& before, const std::wstring& entriesFrom,
                         const std::wstring& programFolder, std::uint32_t timeoutMs,
                         StagedCopies& staged, std::wstring& note);

}  // namespace quarn
