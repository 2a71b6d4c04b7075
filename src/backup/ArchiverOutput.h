#pragma once

#include <string>
#include <vector>

#include "archive/ArchiveEntry.h"

namespace quarn {

// The text of what the archiver wrote to a file: UTF-16LE with or without its byte-order
// mark, or UTF-8 with or without one; CRLF or LF line ends. The archiver's output always
// begins with ASCII text, so a zero second byte means UTF-16LE. A line that is not valid
// UTF-8 keeps its ASCII and gets U+FFFD for every other byte, so that a name it holds
// matches no real name.
std::wstring ArchiverOutputText(const std::string& bytes);

// Every file entry of the technical listing ("rar lt"), in archive order; folders left
// out. The listing gives each entry a block of "Label: value" lines ended by an empty
// line; only a block so ended counts, so a listing cut short loses its last entry
// rather than giving it a size or CRC it never showed. A name is what follows "Name: ",
// exactly. A block with no name, or whose size or CRC cannot be read, is left out.
std::vector<ArchiveEntry> TechnicalListingEntries(const std::wstring& text);

}  // namespace quarn
