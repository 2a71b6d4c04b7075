#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "backup/ArchiveRecord.h"
#include "platform/Platform.h"

namespace quarn {

struct StagedLog {
    std::wstring name;    // in the staging folder and in the archive
    std::wstring source;  // the log's full path; empty for a name held by the archive alone
};

// The staged name of every log that was ever backed up to the archive. A log keeps
// the name it first got, so that its entry in the archive is always its own: a new
// log gets its flattened name unless some log, present or past, holds it, and then
// "~2", "~3", ... before the extension. The names of logs that have gone stay
// reserved, so their last backups are never overwritten.
//
// On disk: UTF-8, one line per name: the staged name, a tab, the log's full path.
// A name held by an archive entry whose log is not known has nothing after its tab.
// After a further tab: the log's size and last write time (a tab between) when its
// entry was last archived; an entry without them counts as changed. One line that
// begins with kArchiveRecordMark records the archive itself.
class StagingNames {
public:
    explicit StagingNames(Platform& platform) : platform_(platform) {}

    // Takes the names of a names file (UTF-8, or UTF-16 with its byte-order mark)
    // that no earlier line or file holds. Returns the numbers, from 1, of the lines
    // that were refused: not of the form above, an unfit name, a name or a log that
    // is held already.
    std::vector<std::size_t> Add(const std::string& bytes);

    // Holds a name for an archive entry whose log is not known; false when the name
    // is unfit or held already.
    bool Reserve(const std::wstring& name);
    bool Holds(const std::wstring& name) const;

    // The index of the log's entry, made when the log is new.
    std::size_t Claim(const std::wstring& source, const std::wstring& flattenedName);
    StagedLog Entry(std::size_t index) const;
    // The log's stamp when its entry was last archived; none when not recorded.
    std::optional<FileStamp> Record(std::size_t index) const { return entries_[index].record; }
    void SetRecord(std::size_t index, const FileStamp& stamp);
    const std::optional<ArchiveRecord>& Archive() const { return archive_; }
    void SetArchive(const ArchiveRecord& record);

    // How many known logs lie below the folder (a full path).
    std::size_t CountUnder(const std::wstring& folder) const;

    bool Empty() const { return entries_.empty(); }
    bool Changed() const { return changed_; }
    std::string Saved() const;

private:
    // Kept as UTF-8, which holds a path in half the memory of UTF-16.
    struct Utf8Entry {
        std::string name;
        std::string source;
        std::optional<FileStamp> record;
    };
    // Keyed by a hash of the text as the file system folds it: each text is folded
    // once, and no map holds a second copy of a path. A hit is confirmed against
    // the entry itself.
    using Index = std::unordered_multimap<std::uint64_t, std::size_t>;

    std::optional<std::size_t> Find(const Index& index, const std::string& text,
                                    const std::wstring& folded,
                                    std::string Utf8Entry::*field) const;
    std::optional<std::size_t> FindName(const std::wstring& name) const;
    // False when the line is refused.
    bool AddLine(const std::string& line);
    void Insert(std::string name, std::string source, const std::wstring& foldedName,
                const std::wstring& foldedSource);

    Platform& platform_;
    std::vector<Utf8Entry> entries_;
    std::optional<ArchiveRecord> archive_;
    Index byName_;
    Index bySource_;
    // The next counter worth trying for a flattened name, so that many logs of the
    // same name cost no more than one each.
    std::unordered_map<std::uint64_t, int> nextCounter_;
    bool changed_ = false;
};

}  // namespace quarn
