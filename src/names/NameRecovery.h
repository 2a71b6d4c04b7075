#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "archive/ArchiveReader.h"
#include "names/StagingNames.h"
#include "platform/Platform.h"

namespace quarn {

// A listed log whose name the names list does not know.
struct UnnamedLog {
    std::wstring source;
    std::wstring flattenedName;
};

// Where the list was lost, gives each log back the archive entry that is its own: one
// held under a name its flattened name could have had, whose content is the log's own
// beginning. The longest such entry is given first, one entry to a log and one log to
// an entry; an entry that two logs without a name match is theirs to share with no one,
// so it stays held and each gets a name of its own. heldBefore says what the archive
// holds under a name. Returns, for each log, the index of the name it took back, and
// adds to note what was taken back and why.
std::vector<std::optional<std::size_t>> TakeBackEntries(
    Platform& platform, StagingNames& names, const std::vector<UnnamedLog>& logs,
    const std::function<const ArchiveEntry*(const std::wstring& name)>& heldBefore,
    std::wstring& note);

}  // namespace quarn
