#include "backup/StagingNames.h"

#include "common/PathText.h"
#include "common/TextEncoding.h"

namespace quarn {
namespace {

std::wstring WithCounter(const std::wstring& name, int counter) {
    const std::size_t dot = name.rfind(L'.');
    const std::size_t stemEnd = dot == std::wstring::npos ? name.size() : dot;
    return name.substr(0, stemEnd) + L"~" + std::to_wstring(counter) + name.substr(stemEnd);
}

bool IsPlainName(const std::wstring& name) {
    return !name.empty() && name.find_first_of(L"\\/:") == std::wstring::npos;
}

}  // namespace

bool StagingNames::Load(const std::string& bytes) {
    const std::optional<std::wstring> text = FromUtf8(bytes);
    bool valid = text.has_value();
    if (valid) {
        for (const std::wstring& line : SplitLines(*text)) {
            if (line.empty()) continue;
            const std::size_t tab = line.find(L'\t');
            if (tab == std::wstring::npos || !Add(line.substr(0, tab), line.substr(tab + 1))) {
                valid = false;
                break;
            }
        }
    }
    if (!valid) {
        entries_.clear();
        byName_.clear();
        bySource_.clear();
    }
    changed_ = false;
    return valid;
}

bool StagingNames::Add(std::wstring name, std::wstring source) {
    if (!IsPlainName(name) || source.empty()) return false;
    const std::size_t index = entries_.size();
    if (!byName_.emplace(platform_.FoldCase(name), index).second) return false;
    if (!bySource_.emplace(platform_.FoldCase(source), index).second) return false;
    entries_.emplace_back(std::move(name), std::move(source));
    changed_ = true;
    return true;
}

std::wstring StagingNames::Claim(const std::wstring& source, const std::wstring& flattenedName) {
    const auto known = bySource_.find(platform_.FoldCase(source));
    if (known != bySource_.end()) return entries_[known->second].first;

    const std::wstring foldedFlattened = platform_.FoldCase(flattenedName);
    std::wstring name = flattenedName;
    if (byName_.count(foldedFlattened) > 0) {
        int& counter = nextCounter_.emplace(foldedFlattened, 2).first->second;
        do {
            name = WithCounter(flattenedName, counter++);
        } while (byName_.count(platform_.FoldCase(name)) > 0);
    }
    Add(name, source);
    return name;
}

std::string StagingNames::Saved() const {
    std::wstring text;
    for (const auto& [name, source] : entries_) {
        text += name;
        text += L'\t';
        text += source;
        text += L"\r\n";
    }
    return kUtf8ByteOrderMark + ToUtf8(text);
}

}  // namespace quarn
