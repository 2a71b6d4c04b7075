#pragma once

#include <string>

namespace quarn {

// The text of what the archiver wrote to a file: UTF-16LE with or without its byte-order
// mark, or UTF-8 with or without one; CRLF or LF line ends. The archiver's output always
// begins with ASCII text, so a zero second byte means UTF-16LE. A line that is not valid
// UTF-8 keeps its ASCII and gets U+FFFD for every other byte, so that a name it holds
// matches no real name.
std::wstring ArchiverOutputText(const std::string& bytes);

}  // namespace quarn
