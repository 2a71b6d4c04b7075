#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quarn {

// The program keeps its text as std::wstring; its own files are UTF-8 and the
// command interpreter's list is UTF-16LE.

// Anything that is not a whole character (a lone surrogate) becomes U+FFFD.
std::string ToUtf8(const std::wstring& text);

// None when the bytes are not valid UTF-8. A leading byte-order mark is dropped.
std::optional<std::wstring> FromUtf8(const std::string& bytes);

// A leading byte-order mark is dropped; an odd last byte is ignored.
std::wstring FromUtf16Le(const std::string& bytes);

// Without a byte-order mark; a character beyond U+FFFF becomes its two surrogates.
std::string ToUtf16Le(const std::wstring& text);

inline constexpr char kUtf8ByteOrderMark[] = "\xEF\xBB\xBF";
inline constexpr char kUtf16LeByteOrderMark[] = "\xFF\xFE";

// The bytes after a leading UTF-8 byte-order mark, or all of them.
std::string_view WithoutUtf8ByteOrderMark(std::string_view bytes);

}  // namespace quarn
