#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/Platform.h"

namespace quarn {

inline constexpr wchar_t kNamesFile[] = L"QuarnBackup.names";

// The staged name of every log that was ever backed up to the archive. A log keeps
// the name it first got, so that its entry in the archive is always its own: a new
// log gets its flattened name unless some log, present or past, holds it, and then
// "~2", "~3", ... before the extension. The names of logs that have gone stay
// reserved, so their last backups are never overwritten.
//
// On disk: UTF-8, one line per log: the staged name, a tab, the log's full path.
class StagingNames {
public:
    explicit StagingNames(Platform& platform) : platform_(platform) {}

    // Takes the names of a names file; false, with nothing taken, when the bytes
    // are not one.
    bool Load(const std::string& bytes);

    std::wstring Claim(const std::wstring& source, const std::wstring& flattenedName);

    bool Changed() const { return changed_; }
    std::string Saved() const;

private:
    bool Add(std::wstring name, std::wstring source);

    Platform& platform_;
    std::vector<std::pair<std::wstring, std::wstring>> entries_;  // name, source
    // Keyed by the file system's case folding, each text folded once.
    std::unordered_map<std::wstring, std::size_t> byName_;
    std::unordered_map<std::wstring, std::size_t> bySource_;
    // The next counter worth trying for a flattened name, so that many logs of the
    // same name cost no more than one each.
    std::unordered_map<std::wstring, int> nextCounter_;
    bool changed_ = false;
};

}  // namespace quarn
