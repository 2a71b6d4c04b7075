#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "names/NamesList.h"
#include "platform/Platform.h"

namespace quarn {

struct StagedLog {
    std::wstring name;    // in the staging folder and in the archive
    std::wstring source;  // the log's full path; empty for a name held by the archive alone
};

// What reading a names list found.
struct NamesRead {
    std::vector<std::size_t> refused;  // numbers, from 1, of the lines that were not taken
    bool sealed = false;  // its :archive line sealed every line that followed, as they are
};

// The staged name of every log that was ever backed up to the archive, and of every
// earlier version of a log that the archive keeps. A log keeps the name it first
// got, so that its entry in the archive is always its own: a new log gets its
// flattened name unless some log, present or past, holds it, and then "~2", "~3", ...
// before the extension. The names of logs that have gone stay reserved, so their
// last backups are never overwritten. Kept in the names list (NamesList.h).
class StagingNames {
public:
    explicit StagingNames(Platform& platform) : platform_(platform) {}

    // Takes the lines of a names list (UTF-8, or UTF-16 with its byte-order mark)
    // whose names and logs no earlier line or list holds.
    NamesRead Add(const std::string& bytes);

    // Holds a name for an archive entry whose log is not known; false when the name
    // is unfit or held already.
    bool Reserve(const std::wstring& name);
    bool Holds(const std::wstring& name) const;

    // The index of the log's entry: the one it has, else a new one under its flattened
    // name, or the first of "~2", "~3", ... that no one holds.
    std::size_t Claim(const std::wstring& source, const std::wstring& flattenedName);
    // The index of the entry of a known log; none for a log the list does not know.
    std::optional<std::size_t> Known(const std::wstring& source) const;
    // The names this log could have been given (its flattened name, then "~2", ...)
    // that the list holds for archive entries whose logs are not known.
    std::vector<std::size_t> UnownedNamesOf(const std::wstring& flattenedName) const;
    // Gives a name held for an entry whose log was not known to that log.
    void GiveTo(std::size_t index, const std::wstring& source);
    // The index of whatever holds the name.
    std::optional<std::size_t> Named(const std::wstring& name) const { return FindName(name); }
    StagedLog Entry(std::size_t index) const;
    std::size_t Size() const { return entries_.size(); }
    bool IsLog(std::size_t index) const;
    // The entry of the log whose current entry has this name; none for any other name.
    std::optional<std::size_t> LogNamed(const std::wstring& name) const;

    // What the list keeps of the log since its entry was last confirmed; none when nothing.
    const std::optional<EntryRecord>& Record(std::size_t index) const { return entries_[index].record; }
    void SetRecord(std::size_t index, const std::optional<EntryRecord>& record);
    void ClearRecords();

    // The day the log was first not found, if it is missing.
    std::optional<std::int64_t> MissingSince(std::size_t index) const { return entries_[index].missingSince; }
    void SetMissingSince(std::size_t index, std::optional<std::int64_t> day);

    // Forgets every name that is not a present log's and whose entry the archive does
    // not hold (held says which it holds): kept versions, missing logs' last backups
    // and names held for entries of logs not known.
    // Every name the list holds.
    std::vector<std::wstring> AllNames() const;
    // Returns the names it forgot.
    std::vector<std::wstring> ForgetUnheld(const std::function<bool(const std::wstring& name)>& held);

    // Gives the log's current entry a name of its own as the kept version of that day
    // ("name.2026-12-08.bkl", then "-2", ...), recorded in the list; returns the name.
    std::wstring KeepVersion(std::size_t index, std::int64_t day);

    const std::optional<ArchiveRecord>& Archive() const { return archive_; }
    void SetArchive(const ArchiveRecord& record);
    std::optional<std::int64_t> LastFullRun(const std::wstring& foldedDataDir) const;
    void SetLastFullRun(const std::wstring& foldedDataDir, std::int64_t day);

    // The logs known below the folder (a full path).
    std::vector<std::size_t> LogsUnder(const std::wstring& folder) const;

    bool Empty() const { return entries_.empty(); }
    bool Changed() const { return changed_; }
    // The whole list, sealed by its :archive line.
    std::string Saved() const;

private:
    // Kept as UTF-8, which holds a path in half the memory of UTF-16.
    struct Utf8Entry {
        std::string name;
        std::string source;
        std::optional<EntryRecord> record;
        std::optional<std::int64_t> keptDay;
        std::optional<std::int64_t> missingSince;
    };
    // Keyed by a hash of the text as the file system folds it: each text is folded
    // once, and no map holds a second copy of a path. A hit is confirmed against
    // the entry itself.
    using Index = std::unordered_multimap<std::uint64_t, std::size_t>;

    std::optional<std::size_t> Find(const Index& index, const std::string& text,
                                    const std::wstring& folded,
                                    std::string Utf8Entry::*field) const;
    std::optional<std::size_t> FindName(const std::wstring& name) const;
    std::optional<std::size_t> FindSource(const std::wstring& source) const;
    // False when the line is refused.
    bool AddLine(std::string_view text, bool first);
    std::size_t Insert(Utf8Entry entry, const std::wstring& foldedName,
                       const std::wstring& foldedSource);

    Platform& platform_;
    std::vector<Utf8Entry> entries_;
    std::optional<ArchiveRecord> archive_;
    std::vector<FullRunLine> fullRuns_;
    Index byName_;
    Index bySource_;
    // The next counter worth trying for a flattened name, so that many logs of the
    // same name cost no more than one each.
    std::unordered_map<std::uint64_t, int> nextCounter_;
    bool changed_ = false;
};

}  // namespace quarn
