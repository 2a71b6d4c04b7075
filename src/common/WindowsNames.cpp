#include "common/WindowsNames.h"

#include <string_view>

namespace quarn {

bool IsDeviceName(const std::wstring& fileName) {
    std::wstring stem = fileName.substr(0, fileName.find(L'.'));
    stem.erase(stem.find_last_not_of(L' ') + 1);
    for (wchar_t& c : stem) c = AsciiUpper(c);
    for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"}) {
        if (stem == device) return true;
    }
    const bool numbered = stem.size() == 4 && (stem.compare(0, 3, L"COM") == 0 ||
                                               stem.compare(0, 3, L"LPT") == 0);
    return numbered && std::wstring_view(L"0123456789\u00B9\u00B2\u00B3").find(stem[3]) !=
                           std::wstring_view::npos;
}

bool IsInvalidNameCharacter(wchar_t c) {
    return c < 0x20 || std::wstring_view(L"<>:\"/\\|?*").find(c) != std::wstring_view::npos;
}

bool IsDroppedAtNameEnd(wchar_t c) { return c == L' ' || c == L'.'; }

wchar_t AsciiUpper(wchar_t c) { return c >= L'a' && c <= L'z' ? c - L'a' + L'A' : c; }

wchar_t AsciiLower(wchar_t c) { return c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c; }

bool EqualsAsciiIgnoringCase(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() && EndsWithAsciiIgnoringCase(a, b);
}

bool EndsWithAsciiIgnoringCase(const std::wstring& text, const std::wstring& suffix) {
    if (suffix.size() > text.size()) return false;
    const std::size_t offset = text.size() - suffix.size();
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        if (AsciiLower(text[offset + i]) != AsciiLower(suffix[i])) return false;
    }
    return true;
}

}  // namespace quarn
