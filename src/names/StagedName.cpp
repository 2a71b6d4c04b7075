#include "names/StagedName.h"

#include <algorithm>
#include <vector>

#include "common/PathText.h"
#include "common/WindowsNames.h"

namespace quarn {
namespace {

// Cuts the part before the extension so that the whole fits, never inside a
// surrogate pair, and never ending in a space or dot.
std::wstring Shortened(const std::wstring& name) {
    const std::size_t extensionStart = ExtensionStart(name);
    const std::wstring extension = name.substr(extensionStart);
    std::size_t stemSize = std::min(extensionStart, kLongestMadeName - extension.size());
    if (stemSize > 0 && name[stemSize - 1] >= 0xD800 && name[stemSize - 1] <= 0xDBFF) --stemSize;
    while (stemSize > 0 && IsDroppedAtNameEnd(name[stemSize - 1])) --stemSize;
    return name.substr(0, stemSize) + extension;
}

}  // namespace

std::optional<std::wstring> FlattenedName(const std::wstring& fullPath) {
    const std::vector<std::wstring> components = SplitAtBackslash(fullPath);
    if (components.size() < 2) return std::nullopt;
    std::wstring folder = components[components.size() - 2];
    if (!folder.empty() && folder.back() == L':') folder.clear();  // a drive's root
    folder.erase(std::remove(folder.begin(), folder.end(), L'.'), folder.end());

    std::wstring name = folder + components.back();
    name.erase(std::remove_if(name.begin(), name.end(), IsInvalidNameCharacter), name.end());
    while (!name.empty() && IsDroppedAtNameEnd(name.back())) name.pop_back();
    if (IsDeviceName(name)) name.insert(std::min(name.find(L'.'), name.size()), L"_");
    if (name.size() > kLongestMadeName) name = Shortened(name);
    if (!IsFitStagedName(name)) return std::nullopt;
    return name;
}

bool IsFitStagedName(const std::wstring& name) {
    return (EndsWithAsciiIgnoringCase(name, L".bkl") || EndsWithAsciiIgnoringCase(name, L".bks")) &&
           name.size() <= kLongestFileName && !IsDroppedAtNameEnd(name.back()) &&
           std::none_of(name.begin(), name.end(), IsInvalidNameCharacter) && !IsDeviceName(name);
}

std::wstring KeptName(const std::wstring& name, const std::wstring& date, int counter) {
    const std::wstring mark = L"." + date + (counter > 1 ? L"-" + std::to_wstring(counter) : L"");
    const std::size_t stemEnd = ExtensionStart(name);
    const std::wstring extension = name.substr(stemEnd);
    std::wstring stem = name.substr(0, stemEnd);
    const std::size_t room = kLongestFileName - mark.size() - extension.size();
    if (stem.size() > room) {
        stem.resize(room);
        if (!stem.empty() && stem.back() >= 0xD800 && stem.back() <= 0xDBFF) stem.pop_back();
    }
    return stem + mark + extension;
}

std::wstring WithCounter(const std::wstring& name, int counter) {
    const std::size_t stemEnd = ExtensionStart(name);
    return name.substr(0, stemEnd) + L"~" + std::to_wstring(counter) + name.substr(stemEnd);
}

}  // namespace quarn
