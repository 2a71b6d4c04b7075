#pragma once

#include <functional>
#include <string>
#include <vector>

#include "archive/ArchiveEntry.h"
#include "platform/Platform.h"
#include "platform/Result.h"

namespace quarn {

enum class ArchiveFormat { Rar4, Rar5 };

// What a RAR archive's own headers say of it.
struct ArchiveReading {
    enum class Verdict {
        // Every header read with its checksum right, up to the archive's end block (or,
        // in a RAR 4 archive, which may have none, up to the file's end at a block's end).
        Whole,
        // A header fails its checksum or does not hold together, or the file ends inside
        // a header, an entry's data or before the archive's end block.
        Damaged,
        // Nothing to vouch for, though not damage: no RAR signature, a format version not
        // known here, encrypted headers or entries, one volume of several, an entry
        // continued across volumes, an entry of unknown size.
        Unreadable,
    };
    Verdict verdict = Verdict::Whole;
    ArchiveFormat format = ArchiveFormat::Rar5;
    // File entries in archive order, folders and service blocks left out; when damaged,
    // every entry read whole before the damage.
    std::vector<ArchiveEntry> entries;
    // Why not whole, to follow "the archive ": "ends inside the data of its entry a.bkl".
    std::wstring reason;
};

// Reads the archive's block headers, a few kilobytes at a time, and steps over each
// entry's data, which it neither reads nor checks. Names keep the archive's own
// separators ('\' in RAR 4, '/' in RAR 5); a name whose bytes cannot be read as the
// format says gets U+FFFD for them, and so matches no real name. Fails only when the
// file cannot be read.
Result<ArchiveReading> ReadArchive(ReadableFile& file);

// The same, handing each entry to onEntry as its header is read rather than keeping
// them in the reading's entries: a reader of many entries holds none of them twice.
using EntryVisitor = std::function<void(ArchiveEntry&& entry)>;
Result<ArchiveReading> ReadArchive(ReadableFile& file, const EntryVisitor& onEntry);

}  // namespace quarn
