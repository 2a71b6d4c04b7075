#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quarn {

// Hands on each line of a text without its end ("\r\n" or "\n"), empty lines
// included; a final line end starts no further line. Each line is a view into the
// text, so that a long text is never held twice.
void EachLine(std::string_view text, const std::function<void(std::string_view)>& eachLine);
void EachLine(std::wstring_view text, const std::function<void(std::wstring_view)>& eachLine);

// The same for the bytes of a UTF-16LE text, split where a whole unit is a line
// feed: each line's bytes, without its end.
void EachUtf16LeLine(std::string_view bytes, const std::function<void(std::string_view)>& eachLine);

// The fields of a line between its tabs, empty ones included: "a\t\tb" has three.
std::vector<std::string> TabFields(std::string_view line);

}  // namespace quarn
