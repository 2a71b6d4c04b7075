#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "backup/StagingFolder.h"
#include "platform/Platform.h"

namespace quarn {

// An entry of a damaged archive, placed in the staging folder for the new archive.
struct CarriedEntry {
    std::wstring name;
    std::wstring path;      // its copy in the staging folder
    ContentCheck content;
};

struct CarriedOver {
    std::vector<CarriedEntry> carried;
    std::vector<std::wstring> lost;  // entries the damaged archive no longer yields whole
};

// What only a damaged archive holds (kept versions, the last backups of logs that have
// gone, entries of names the list holds) must not stay behind in it: extracts every
// entry whose name no copy of this run takes (taken says which), keeps each only when
// it has the size and CRC-32 its header gives, and places it in the staging folder for
// the archiver. The archive set aside is only read.
CarriedOver CarryOver(Platform& platform, const std::wstring& damagedArchive,
                      const std::function<bool(const std::wstring& name)>& taken,
                      StagingFolder& staging, const std::wstring& programFolder,
                      std::uint32_t timeoutMs, std::wstring& note);

}  // namespace quarn
