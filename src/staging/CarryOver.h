#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/ArchiveContents.h"
#include "archive/ArchiveEntry.h"
#include "names/StagingNames.h"
#include "staging/StagedCopies.h"
#include "platform/Platform.h"
#include "staging/StagingFolder.h"

namespace quarn {

// An entry of a damaged archive to be carried over, and the name it is to have in the
// new archive: its own, or the dated name that keeps what a rewritten log held.
struct EntryToCarry {
    ArchiveEntry entry;
    std::wstring as;
};

// An entry of a damaged archive, placed in the staging folder for the new archive.
struct CarriedEntry {
    std::wstring name;      // as the new archive will have it
    std::wstring path;      // its copy in the staging folder
    ContentCheck content;
};

struct CarriedOver {
    std::vector<CarriedEntry> carried;
    std::vector<std::wstring> lost;  // entries the damaged archive no longer yields whole
};

// What only a damaged archive holds (kept versions, the last backups of logs that have
// gone, entries of names the list holds, what rewritten logs held) must not stay behind
// in it: extracts each entry, keeps it only when it has the size and CRC-32 its header
// gives (or, for one whose header could not be read and so has none, when the archiver,
// which checks each entry's CRC-32 as it extracts it, let it out), and places it in the
// staging folder under the name it is to have. The archive set aside is only read.
CarriedOver CarryOver(Platform& platform, const std::wstring& damagedArchive,
                      const std::vector<EntryToCarry>& wanted, StagingFolder& staging,
                      const std::wstring& programFolder, std::uint32_t timeoutMs, std::wstring& note);

// A new archive for a damaged one set aside takes what only that one held: what the
// rewritten logs held (staged.replaced) under dated names, and every other entry whose
// name no copy takes, from before (its entries as its headers give them) and, past its
// damage, every name the list holds. Each one it yields whole joins staged.copies; the
// others are staged.lost. The names list then holds the dated names.
void CarryOverFromSetAside(Platform& platform, StagingFolder& staging, StagingNames& names,
                           const EntriesByName& before, const std::wstring& setAside,
                           std::int64_t today, const std::wstring& programFolder,
                           std::uint32_t timeoutMs, StagedCopies& staged, std::wstring& note);

// Whatever a damaged archive's headers still give, up to the damage; nothing from one
// that cannot be read at all.
std::vector<ArchiveEntry> IntactEntries(Platform& platform, const std::wstring& archive);

}  // namespace quarn
