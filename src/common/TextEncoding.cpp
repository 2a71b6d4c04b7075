#include "common/TextEncoding.h"

namespace quarn {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// wchar_t holds UTF-16 units on Windows and whole code points elsewhere.
void AppendCodePoint(std::wstring& text, char32_t c) {
    if constexpr (sizeof(wchar_t) == 2) {
        if (c >= 0x10000) {
            c -= 0x10000;
            text += static_cast<wchar_t>(0xD800 + (c >> 10));
            text += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
            return;
        }
    }
    text += static_cast<wchar_t>(c);
}

void AppendUtf8(std::string& bytes, char32_t c) {
    if (c < 0x80) {
        bytes += static_cast<char>(c);
    } else if (c < 0x800) {
        bytes += static_cast<char>(0xC0 | (c >> 6));
        bytes += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        bytes += static_cast<char>(0xE0 | (c >> 12));
        bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        bytes += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        bytes += static_cast<char>(0xF0 | (c >> 18));
        bytes += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        bytes += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The length of the UTF-8 sequence that starts with this byte; 0 when none does.
int SequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if ((lead >> 5) == 0x6) return 2;
    if ((lead >> 4) == 0xE) return 3;
    if ((lead >> 3) == 0x1E) return 4;
    return 0;
}

// None for a cut sequence, an overlong form, a surrogate or a value past U+10FFFF.
std::optional<char32_t> DecodeSequence(const std::string& bytes, std::size_t at, int length) {
    if (at + length > bytes.size()) return std::nullopt;
    const auto lead = static_cast<unsigned char>(bytes[at]);
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(bytes[at + k]);
        if ((next & 0xC0) != 0x80) return std::nullopt;
        c = (c << 6) | (next & 0x3F);
    }
    constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kSmallest[length] || c > 0x10FFFF || IsHighSurrogate(c) || IsLowSurrogate(c)) {
        return std::nullopt;
    }
    return c;
}

}  // namespace

std::string ToUtf8(const std::wstring& text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<char32_t>(text[i]);
        if (IsHighSurrogate(c) && i + 1 < text.size() &&
            IsLowSurrogate(static_cast<char32_t>(text[i + 1]))) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(text[++i]) - 0xDC00);
        } else if (IsHighSurrogate(c) || IsLowSurrogate(c) || c > 0x10FFFF) {
            c = kReplacement;
        }
        AppendUtf8(bytes, c);
    }
    return bytes;
}

std::optional<std::wstring> FromUtf8(const std::string& bytes) {
    std::size_t i = bytes.size() - WithoutUtf8ByteOrderMark(bytes).size();
    std::wstring text;
    text.reserve(bytes.size());
    while (i < bytes.size()) {
        const int length = SequenceLength(static_cast<unsigned char>(bytes[i]));
        const std::optional<char32_t> c = length > 0 ? DecodeSequence(bytes, i, length) : std::nullopt;
        if (!c) return std::nullopt;
        AppendCodePoint(text, *c);
        i += length;
    }
    return text;
}

std::wstring FromUtf16Le(const std::string& bytes) {
    std::wstring text;
    text.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        char32_t c = static_cast<unsigned char>(bytes[i]) |
                     (static_cast<char32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8);
        if constexpr (sizeof(wchar_t) != 2) {
            if (IsHighSurrogate(c) && i + 3 < bytes.size()) {
                const char32_t low = static_cast<unsigned char>(bytes[i + 2]) |
                                     (static_cast<char32_t>(static_cast<unsigned char>(bytes[i + 3])) << 8);
                if (IsLowSurrogate(low)) {
                    c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                    i += 2;
                }
            }
        }
        AppendCodePoint(text, c);
    }
    if (!text.empty() && text.front() == L'\xFEFF') text.erase(0, 1);
    return text;
}

}  // namespace quarn

namespace quarn {

std::string ToUtf16Le(const std::wstring& text) {
    std::string bytes;
    bytes.reserve(text.size() * 2);
    const auto unit = [&bytes](char32_t u) {
        bytes += static_cast<char>(u & 0xFF);
        bytes += static_cast<char>((u >> 8) & 0xFF);
    };
    for (const wchar_t c : text) {
        const auto point = static_cast<char32_t>(c);
        if (point > 0xFFFF) {
            unit(0xD800 + ((point - 0x10000) >> 10));
            unit(0xDC00 + ((point - 0x10000) & 0x3FF));
        } else {
            unit(point);
        }
    }
    return bytes;
}

}  // namespace quarn

namespace quarn {

std::string_view WithoutUtf8ByteOrderMark(std::string_view bytes) {
    return bytes.substr(0, 3) == kUtf8ByteOrderMark ? bytes.substr(3) : bytes;
}

}  // namespace quarn
