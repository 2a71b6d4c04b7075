#include "backup/StagingNames.h"

#include "common/TextEncoding.h"
#include "common/TextHash.h"

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
    Clear();
    // Line by line, so that the file's text is never held twice.
    std::size_t start = bytes.compare(0, 3, kUtf8ByteOrderMark) == 0 ? 3 : 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        const std::size_t lineEnd = end > start && bytes[end - 1] == '\r' ? end - 1 : end;
        const std::size_t tab = bytes.find('\t', start);
        if (lineEnd > start) {
            if (tab >= lineEnd) {
                Clear();
                return false;
            }
            std::string name = bytes.substr(start, tab - start);
            std::string source = bytes.substr(tab + 1, lineEnd - tab - 1);
            const std::optional<std::wstring> wideName = FromUtf8(name);
            const std::optional<std::wstring> wideSource = FromUtf8(source);
            if (!wideName || !wideSource || !IsPlainName(*wideName) || wideSource->empty()) {
                Clear();
                return false;
            }
            const std::wstring foldedName = platform_.FoldCase(*wideName);
            const std::wstring foldedSource = platform_.FoldCase(*wideSource);
            if (Find(byName_, name, foldedName, &Utf8Entry::name) ||
                Find(bySource_, source, foldedSource, &Utf8Entry::source)) {
                Clear();
                return false;
            }
            Insert(std::move(name), std::move(source), foldedName, foldedSource);
        }
        start = end + 1;
    }
    changed_ = false;
    return true;
}

void StagingNames::Clear() {
    entries_.clear();
    byName_.clear();
    bySource_.clear();
    nextCounter_.clear();
    changed_ = false;
}

std::optional<std::size_t> StagingNames::Find(const Index& index, const std::string& text,
                                              const std::wstring& folded,
                                              std::string Utf8Entry::*field) const {
    const auto [first, last] = index.equal_range(HashText(folded));
    for (auto hit = first; hit != last; ++hit) {
        const std::string& stored = entries_[hit->second].*field;
        if (stored == text || platform_.FoldCase(FromUtf8(stored).value_or(L"")) == folded) {
            return hit->second;
        }
    }
    return std::nullopt;
}

void StagingNames::Insert(std::string name, std::string source, const std::wstring& foldedName,
                          const std::wstring& foldedSource) {
    byName_.emplace(HashText(foldedName), entries_.size());
    bySource_.emplace(HashText(foldedSource), entries_.size());
    entries_.push_back({std::move(name), std::move(source)});
    changed_ = true;
}

std::size_t StagingNames::Claim(const std::wstring& source, const std::wstring& flattenedName) {
    std::string utf8Source = ToUtf8(source);
    const std::wstring foldedSource = platform_.FoldCase(source);
    if (const std::optional<std::size_t> known =
            Find(bySource_, utf8Source, foldedSource, &Utf8Entry::source)) {
        return *known;
    }
    std::wstring name = flattenedName;
    std::wstring foldedName = platform_.FoldCase(name);
    std::string utf8Name = ToUtf8(name);
    if (Find(byName_, utf8Name, foldedName, &Utf8Entry::name)) {
        int& counter = nextCounter_.emplace(HashText(foldedName), 2).first->second;
        do {
            name = WithCounter(flattenedName, counter++);
            foldedName = platform_.FoldCase(name);
            utf8Name = ToUtf8(name);
        } while (Find(byName_, utf8Name, foldedName, &Utf8Entry::name));
    }
    Insert(std::move(utf8Name), std::move(utf8Source), foldedName, foldedSource);
    return entries_.size() - 1;
}

std::size_t StagingNames::CountUnder(const std::wstring& folder) const {
    std::wstring prefix = platform_.FoldCase(platform_.FullPath(folder));
    while (!prefix.empty() && prefix.back() == L'\\') prefix.pop_back();
    prefix += L'\\';
    std::size_t count = 0;
    for (const Utf8Entry& entry : entries_) {
        const std::wstring source = platform_.FoldCase(FromUtf8(entry.source).value_or(L""));
        if (source.compare(0, prefix.size(), prefix) == 0) ++count;
    }
    return count;
}

StagedLog StagingNames::Entry(std::size_t index) const {
    return {FromUtf8(entries_[index].name).value_or(L""),
            FromUtf8(entries_[index].source).value_or(L"")};
}

std::string StagingNames::Saved() const {
    std::size_t size = 3;
    for (const Utf8Entry& entry : entries_) size += entry.name.size() + entry.source.size() + 3;
    std::string text = kUtf8ByteOrderMark;
    text.reserve(size);
    for (const Utf8Entry& entry : entries_) {
        text += entry.name;
        text += '\t';
        text += entry.source;
        text += "\r\n";
    }
    return text;
}

}  // namespace quarn
