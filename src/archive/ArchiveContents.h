#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "archive/ArchiveReader.h"
#include "platform/Platform.h"

namespace quarn {

// What the archive holds, as its own headers say.
struct ArchiveContents {
    std::vector<ArchiveEntry> entries;  // in archive order; an archive not there holds none
    std::optional<std::wstring> damage;  // why it is damaged ("it has a header that ...")
};

// An archive's entries by their names as the file system folds them; a name held
// twice is there twice, first as first.
using EntriesByName = std::multimap<std::wstring, ArchiveEntry>;
EntriesByName ByFoldedName(Platform& platform, std::vector<ArchiveEntry> entries);
// The first entry held under the name; none when there is none.
const ArchiveEntry* HeldUnder(Platform& platform, const EntriesByName& entries, const std::wstring& name);

// Reads the archive's headers as ArchiveContentsOf does, handing each entry to onEntry
// as it is read; gives why the archive is damaged, or none.
std::optional<std::wstring> VisitArchiveEntries(Platform& platform, const std::wstring& archivePath,
                                                const std::wstring& consequence, const EntryVisitor& onEntry);

// Reads the archive's headers. Stops the run (exit 9), with consequence at the end of
// its message, when the archive cannot be read or is of a kind the program cannot
// vouch for: only a broken header is damage.
ArchiveContents ArchiveContentsOf(Platform& platform, const std::wstring& archivePath,
                                  const std::wstring& consequence);

}  // namespace quarn
