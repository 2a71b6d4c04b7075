#include "common/PathText.h"

namespace quarn {

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

std::size_t ExtensionStart(const std::wstring& fileName) {
    const std::size_t dot = fileName.rfind(L'.');
    return dot == std::wstring::npos ? fileName.size() : dot;
}

}  // namespace quarn
