#include "archive/ArchiverOutput.h"

#include "common/TextEncoding.h"

namespace quarn {
namespace {

std::wstring AsciiOnly(const std::string& bytes) {
    std::wstring text;
    text.reserve(bytes.size());
    for (const char c : bytes) text += static_cast<unsigned char>(c) < 0x80 ? static_cast<wchar_t>(c) : L'\xFFFD';
    return text;
}

// UTF-8 line by line, so that one unreadable name costs only its own line.
std::wstring LenientUtf8(const std::string& bytes) {
    std::wstring text;
    text.reserve(bytes.size());
    std::size_t start = 0;
    while (true) {
        const std::size_t end = bytes.find('\n', start);
        const std::string line = bytes.substr(start, end == std::string::npos ? end : end - start);
        const std::optional<std::wstring> decoded = FromUtf8(line);
        text += decoded ? *decoded : AsciiOnly(line);
        if (end == std::string::npos) return text;
        text += L'\n';
        start = end + 1;
    }
}

}  // namespace

std::wstring ArchiverOutputText(const std::string& bytes) {
    if (bytes.compare(0, 2, kUtf16LeByteOrderMark) == 0 || (bytes.size() >= 2 && bytes[1] == '\0')) {
        return FromUtf16Le(bytes);
    }
    if (std::optional<std::wstring> text = FromUtf8(bytes)) return *std::move(text);
    return LenientUtf8(std::string(WithoutUtf8ByteOrderMark(bytes)));
}

}  // namespace quarn
