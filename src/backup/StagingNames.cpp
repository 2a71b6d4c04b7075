#include "backup/StagingNames.h"

#include <algorithm>
#include <stdexcept>

#include "backup/StagedName.h"
#include "common/TextEncoding.h"
#include "common/TextHash.h"
#include "common/TextLines.h"

namespace quarn {
namespace {

// A full path as the listing gives it: a "\" and no control character.
bool IsFitSource(const std::wstring& source) {
    return source.find(L'\\') != std::wstring::npos &&
           std::none_of(source.begin(), source.end(), [](wchar_t c) { return c < 0x20; });
}

// "size<tab>lastWrite" in decimal; none when unfit.
std::optional<FileStamp> ParseStamp(const std::string& text) {
    const std::size_t tab = text.find('\t');
    if (tab == std::string::npos || tab == 0 || tab + 1 == text.size() ||
        text.find_first_not_of("0123456789\t") != std::string::npos ||
        text.find('\t', tab + 1) != std::string::npos || tab > 20 || text.size() - tab > 21) {
        return std::nullopt;
    }
    try {
        return FileStamp{std::stoull(text.substr(0, tab)), std::stoull(text.substr(tab + 1))};
    } catch (const std::out_of_range&) {
        return std::nullopt;
    }
}

}  // namespace

std::vector<std::size_t> StagingNames::Add(const std::string& bytes) {
    const bool utf16 = bytes.compare(0, 2, kUtf16LeByteOrderMark) == 0;
    const std::string text = utf16 ? ToUtf8(FromUtf16Le(bytes)) : std::string();
    const std::string& lines = utf16 ? text : bytes;

    std::vector<std::size_t> refused;
    std::size_t number = 0;
    const std::size_t start = lines.compare(0, 3, kUtf8ByteOrderMark) == 0 ? 3 : 0;
    EachLine(std::string_view(lines).substr(start), [&](std::string_view line) {
        ++number;
        if (!line.empty() && !AddLine(std::string(line))) refused.push_back(number);
    });
    if (utf16) changed_ = true;  // written back as UTF-8
    return refused;
}

bool StagingNames::AddLine(const std::string& line) {
    const std::size_t tab = line.find('\t');
    if (line.substr(0, tab) == kArchiveRecordMark) {
        // An unfit record is no record: the next run is a full one.
        if (!archive_) archive_ = ParseArchiveRecord(line);
        return true;
    }
    if (tab == std::string::npos) return false;
    std::string name = line.substr(0, tab);
    const std::size_t recordTab = line.find('\t', tab + 1);
    std::string source = line.substr(tab + 1, recordTab - tab - 1);
    const std::optional<std::wstring> wideName = FromUtf8(name);
    const std::optional<std::wstring> wideSource = FromUtf8(source);
    if (!wideName || !wideSource || !IsFitStagedName(*wideName) ||
        (!wideSource->empty() && !IsFitSource(*wideSource))) {
        return false;
    }
    const std::wstring foldedName = platform_.FoldCase(*wideName);
    const std::wstring foldedSource = platform_.FoldCase(*wideSource);
    if (Find(byName_, name, foldedName, &Utf8Entry::name) ||
        (!source.empty() && Find(bySource_, source, foldedSource, &Utf8Entry::source))) {
        return false;
    }
    const bool changed = changed_;
    Insert(std::move(name), std::move(source), foldedName, foldedSource);
    if (recordTab != std::string::npos && !entries_.back().source.empty()) {
        entries_.back().record = ParseStamp(line.substr(recordTab + 1));
    }
    changed_ = changed;  // taken as it was read
    return true;
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

std::optional<std::size_t> StagingNames::FindName(const std::wstring& name) const {
    return Find(byName_, ToUtf8(name), platform_.FoldCase(name), &Utf8Entry::name);
}

void StagingNames::Insert(std::string name, std::string source, const std::wstring& foldedName,
                          const std::wstring& foldedSource) {
    byName_.emplace(HashText(foldedName), entries_.size());
    if (!source.empty()) bySource_.emplace(HashText(foldedSource), entries_.size());
    entries_.push_back({std::move(name), std::move(source), std::nullopt});
    changed_ = true;
}

bool StagingNames::Reserve(const std::wstring& name) {
    if (!IsFitStagedName(name) || FindName(name)) return false;
    Insert(ToUtf8(name), {}, platform_.FoldCase(name), {});
    return true;
}

bool StagingNames::Holds(const std::wstring& name) const { return FindName(name).has_value(); }

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
    std::wstring prefix = platform_.FoldCase(folder);
    while (!prefix.empty() && prefix.back() == L'\\') prefix.pop_back();
    prefix += L'\\';
    std::size_t count = 0;
    for (const Utf8Entry& entry : entries_) {
        const std::wstring source = platform_.FoldCase(FromUtf8(entry.source).value_or(L""));
        if (source.compare(0, prefix.size(), prefix) == 0) ++count;
    }
    return count;
}

void StagingNames::SetRecord(std::size_t index, const FileStamp& stamp) {
    entries_[index].record = stamp;
    changed_ = true;
}

void StagingNames::SetArchive(const ArchiveRecord& record) {
    archive_ = record;
    changed_ = true;
}

StagedLog StagingNames::Entry(std::size_t index) const {
    return {FromUtf8(entries_[index].name).value_or(L""),
            FromUtf8(entries_[index].source).value_or(L"")};
}

std::string StagingNames::Saved() const {
    const std::string archive = archive_ ? ArchiveRecordLine(*archive_) + "\r\n" : "";
    std::size_t size = 3 + archive.size();
    for (const Utf8Entry& entry : entries_) size += entry.name.size() + entry.source.size() + 45;
    std::string text = kUtf8ByteOrderMark + archive;
    text.reserve(size);
    for (const Utf8Entry& entry : entries_) {
        text += entry.name;
        text += '\t';
        text += entry.source;
        if (entry.record) {
            text += '\t' + std::to_string(entry.record->size) + '\t' +
                    std::to_string(entry.record->lastWrite);
        }
        text += "\r\n";
    }
    return text;
}

}  // namespace quarn
