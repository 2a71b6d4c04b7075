#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/ArchiveEntry.h"
#include "platform/Platform.h"

namespace quarn {

// An entry to be kept under another name: held is what it holds now.
struct EntryRename {
    std::wstring from;
    std::wstring to;
    ArchiveEntry held;
};

// Renames archive entries so that what they hold stays in the archive when a log's new
// content takes the old name, then reads the archive back: each new name must hold
// what the old one held, and the old name be gone. Runs in folder for at most
// timeoutMs, with its list file in listFolder; stops the run when anything is not so.
// note: see RunArchiverCommand.
void RenameEntries(Platform& platform, const std::wstring& archivePath,
                   const std::vector<EntryRename>& renames, const std::wstring& folder,
                   const std::wstring& listFolder, std::uint32_t timeoutMs, std::wstring& note);

}  // namespace quarn
