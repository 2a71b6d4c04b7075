#include "common/PathText.h"

namespace quarn {
namespace {

wchar_t AsciiLower(wchar_t c) { return c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c; }

}  // namespace

std::vector<std::wstring> SplitAtBackslash(const std::wstring& path) {
    std::vector<std::wstring> components;
    std::size_t start = 0;
    for (;;) {
        const std::size_t separator = path.find(L'\\', start);
        components.push_back(path.substr(start, separator - start));
        if (separator == std::wstring::npos) return components;
        start = separator + 1;
    }
}

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
    return !folder.empty() && folder.back() == L'\\' ? folder + name : folder + L"\\" + name;
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
