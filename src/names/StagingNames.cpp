#include "names/StagingNames.h"

#include <algorithm>
#include <climits>

#include "common/FreeName.h"
#include "common/TextEncoding.h"
#include "common/TextHash.h"
#include "common/TextLines.h"
#include "names/StagedName.h"

namespace quarn {

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

std::optional<std::size_t> StagingNames::FindSource(const std::wstring& source) const {
    return Find(bySource_, ToUtf8(source), platform_.FoldCase(source), &Utf8Entry::source);
}

std::size_t StagingNames::Insert(Utf8Entry entry, const std::wstring& foldedName,
                                 const std::wstring& foldedSource) {
    byName_.emplace(HashText(foldedName), entries_.size());
    if (!foldedSource.empty()) bySource_.emplace(HashText(foldedSource), entries_.size());
    entries_.push_back(std::move(entry));
    changed_ = true;
    return entries_.size() - 1;
}

bool StagingNames::Reserve(const std::wstring& name) {
    if (!IsFitStagedName(name) || FindName(name)) return false;
    Insert({ToUtf8(name), {}, std::nullopt, std::nullopt, std::nullopt}, platform_.FoldCase(name), {});
    return true;
}

bool StagingNames::Holds(const std::wstring& name) const { return FindName(name).has_value(); }

bool StagingNames::IsLog(std::size_t index) const {
    return !entries_[index].source.empty() && !entries_[index].keptDay;
}

std::optional<std::size_t> StagingNames::LogNamed(const std::wstring& name) const {
    const std::optional<std::size_t> held = FindName(name);
    if (!held || !IsLog(*held)) return std::nullopt;
    return held;
}

std::optional<std::size_t> StagingNames::Known(const std::wstring& source) const {
    return FindSource(source);
}

std::vector<std::size_t> StagingNames::UnownedNamesOf(const std::wstring& flattenedName) const {
    // They were given out in that order, but entries may have gone from the archive
    // since: a short gap does not end the search.
    constexpr int kGapsPassed = 16;
    std::vector<std::size_t> unowned;
    for (int counter = 1, misses = 0; misses <= kGapsPassed; ++counter) {
        const std::wstring name = counter == 1 ? flattenedName : WithCounter(flattenedName, counter);
        const std::optional<std::size_t> held = FindName(name);
        if (!held) {
            ++misses;
            continue;
        }
        misses = 0;
        if (entries_[*held].source.empty()) unowned.push_back(*held);
    }
    return unowned;
}

void StagingNames::GiveTo(std::size_t index, const std::wstring& source) {
    entries_[index].source = ToUtf8(source);
    bySource_.emplace(HashText(platform_.FoldCase(source)), index);
    changed_ = true;
}

std::size_t StagingNames::Claim(const std::wstring& source, const std::wstring& flattenedName) {
    if (const std::optional<std::size_t> known = FindSource(source)) return *known;
    const std::wstring foldedSource = platform_.FoldCase(source);
    std::wstring name = flattenedName;
    std::wstring foldedName = platform_.FoldCase(name);
    if (Find(byName_, ToUtf8(name), foldedName, &Utf8Entry::name)) {
        int& counter = nextCounter_.emplace(HashText(foldedName), 2).first->second;
        const auto nameFor = [&flattenedName](int n) { return WithCounter(flattenedName, n); };
        counter = *FirstFreeCounter(counter, INT_MAX, nameFor,
                                    [this](const std::wstring& n) { return FindName(n).has_value(); });
        name = nameFor(counter++);
        foldedName = platform_.FoldCase(name);
    }
    return Insert({ToUtf8(name), ToUtf8(source), std::nullopt, std::nullopt, std::nullopt},
                  foldedName, foldedSource);
}

std::vector<std::wstring> StagingNames::AllNames() const {
    std::vector<std::wstring> names;
    for (const Utf8Entry& entry : entries_) names.push_back(FromUtf8(entry.name).value_or(L""));
    return names;
}

std::vector<std::wstring> StagingNames::ForgetUnheld(
    const std::function<bool(const std::wstring& name)>& held) {
    std::vector<Utf8Entry> kept;
    std::vector<std::wstring> forgotten;
    for (Utf8Entry& entry : entries_) {
        const bool presentLog = !entry.source.empty() && !entry.keptDay && !entry.missingSince;
        const std::wstring name = FromUtf8(entry.name).value_or(L"");
        if (presentLog || held(name)) {
            kept.push_back(std::move(entry));
        } else {
            forgotten.push_back(name);
        }
    }
    if (forgotten.empty()) {
        entries_ = std::move(kept);
        return forgotten;
    }
    entries_.clear();
    byName_.clear();
    bySource_.clear();
    nextCounter_.clear();
    for (Utf8Entry& entry : kept) {
        const std::wstring name = FromUtf8(entry.name).value_or(L"");
        const bool isLog = !entry.source.empty() && !entry.keptDay;
        const std::wstring source = isLog ? platform_.FoldCase(FromUtf8(entry.source).value_or(L"")) : std::wstring();
        Insert(std::move(entry), platform_.FoldCase(name), source);
    }
    return forgotten;
}

std::wstring StagingNames::KeepVersion(std::size_t index, std::int64_t day) {
    const Utf8Entry log = entries_[index];
    const std::wstring name = FromUtf8(log.name).value_or(L"");
    const auto nameFor = [&name, day](int n) { return KeptName(name, DayText(day), n); };
    std::wstring kept = nameFor(*FirstFreeCounter(
        1, INT_MAX, nameFor, [this](const std::wstring& n) { return FindName(n).has_value(); }));
    Insert({ToUtf8(kept), log.source, std::nullopt, day, std::nullopt}, platform_.FoldCase(kept), {});
    return kept;
}

std::vector<std::size_t> StagingNames::LogsUnder(const std::wstring& folder) const {
    std::wstring prefix = platform_.FoldCase(folder);
    while (!prefix.empty() && prefix.back() == L'\\') prefix.pop_back();
    prefix += L'\\';
    std::vector<std::size_t> logs;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (!IsLog(i)) continue;
        const std::wstring source = platform_.FoldCase(FromUtf8(entries_[i].source).value_or(L""));
        if (source.compare(0, prefix.size(), prefix) == 0) logs.push_back(i);
    }
    return logs;
}

void StagingNames::SetRecord(std::size_t index, const std::optional<EntryRecord>& record) {
    if (entries_[index].record == record) return;
    entries_[index].record = record;
    changed_ = true;
}

void StagingNames::ClearRecords() {
    for (std::size_t i = 0; i < entries_.size(); ++i) SetRecord(i, std::nullopt);
}

void StagingNames::SetMissingSince(std::size_t index, std::optional<std::int64_t> day) {
    if (entries_[index].missingSince == day) return;
    entries_[index].missingSince = day;
    changed_ = true;
}

void StagingNames::SetArchive(const ArchiveRecord& record) {
    archive_ = record;
    changed_ = true;
}

std::optional<std::int64_t> StagingNames::LastFullRun(const std::wstring& foldedDataDir) const {
    for (const FullRunLine& line : fullRuns_) {
        if (line.dataDir == foldedDataDir) return line.day;
    }
    return std::nullopt;
}

void StagingNames::SetLastFullRun(const std::wstring& foldedDataDir, std::int64_t day) {
    changed_ = true;
    for (FullRunLine& line : fullRuns_) {
        if (line.dataDir == foldedDataDir) {
            line.day = day;
            return;
        }
    }
    fullRuns_.push_back({foldedDataDir, day});
}

StagedLog StagingNames::Entry(std::size_t index) const {
    return {FromUtf8(entries_[index].name).value_or(L""),
            FromUtf8(entries_[index].source).value_or(L"")};
}

}  // namespace quarn
