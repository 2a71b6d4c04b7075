#include "backup/StagedName.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

#include "common/PathText.h"

namespace quarn {
namespace {

bool IsUnfitCharacter(wchar_t c) {
    return c < 0x20 || std::wstring_view(L"<>:\"/\\|?*").find(c) != std::wstring_view::npos;
}

bool IsTrailingUnfit(wchar_t c) { return c == L' ' || c == L'.'; }

std::wstring AsciiUpper(std::wstring text) {
    for (wchar_t& c : text) {
        if (c >= L'a' && c <= L'z') c = c - L'a' + L'A';
    }
    return text;
}

// Windows opens the device, not a file, for "con", "nul.bkl", "com1.x.bks" and the like.
bool IsDeviceStem(const std::wstring& name) {
    std::wstring stem = AsciiUpper(name.substr(0, name.find(L'.')));
    while (!stem.empty() && stem.back() == L' ') stem.pop_back();
    static const std::array<const wchar_t*, 4> kPlain = {L"CON", L"PRN", L"AUX", L"NUL"};
    if (std::find(kPlain.begin(), kPlain.end(), stem) != kPlain.end()) return true;
    return stem.size() == 4 && (stem.rfind(L"COM", 0) == 0 || stem.rfind(L"LPT", 0) == 0) &&
           stem[3] >= L'1' && stem[3] <= L'9';
}

std::size_t ExtensionStart(const std::wstring& name) {
    const std::size_t dot = name.rfind(L'.');
    return dot == std::wstring::npos ? name.size() : dot;
}

// Cuts the part before the extension so that the whole fits, never inside a
// surrogate pair, and never ending in a space or dot.
std::wstring Shortened(const std::wstring& name) {
    const std::size_t extensionStart = ExtensionStart(name);
    const std::wstring extension = name.substr(extensionStart);
    std::size_t stemSize = std::min(extensionStart, kLongestMadeName - extension.size());
    if (stemSize > 0 && name[stemSize - 1] >= 0xD800 && name[stemSize - 1] <= 0xDBFF) --stemSize;
    while (stemSize > 0 && IsTrailingUnfit(name[stemSize - 1])) --stemSize;
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
    name.erase(std::remove_if(name.begin(), name.end(), IsUnfitCharacter), name.end());
    while (!name.empty() && IsTrailingUnfit(name.back())) name.pop_back();
    if (IsDeviceStem(name)) name.insert(std::min(name.find(L'.'), name.size()), L"_");
    if (name.size() > kLongestMadeName) name = Shortened(name);
    if (!IsFitStagedName(name)) return std::nullopt;
    return name;
}

bool IsFitStagedName(const std::wstring& name) {
    return (EndsWithAsciiIgnoringCase(name, L".bkl") || EndsWithAsciiIgnoringCase(name, L".bks")) &&
           name.size() <= kLongestFileName && !IsTrailingUnfit(name.back()) &&
           std::none_of(name.begin(), name.end(), IsUnfitCharacter) && !IsDeviceStem(name);
}

std::wstring WithCounter(const std::wstring& name, int counter) {
    const std::size_t stemEnd = ExtensionStart(name);
    return name.substr(0, stemEnd) + L"~" + std::to_wstring(counter) + name.substr(stemEnd);
}

}  // namespace quarn
