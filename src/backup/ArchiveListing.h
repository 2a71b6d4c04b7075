#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "backup/ArchiverOutput.h"
#include "platform/Platform.h"

namespace quarn {

// What the archive holds, as the archiver reads it back.
struct ArchiveContents {
    std::vector<ArchiveEntry> entries;  // in archive order
    std::wstring damage;                // why it is damaged; empty when it reads whole
};

// Lists the archive, which is there, with the archiver's technical listing, run in
// programFolder for at most timeoutMs. A damaged archive is told, never taken for
// one that holds less. Stops the run, with consequence at the end of its message,
// when the archiver cannot list it at all. note: see RunArchiverCommand.
ArchiveContents ListArchive(Platform& platform, const std::wstring& archivePath,
                            const std::wstring& programFolder, std::uint32_t timeoutMs,
                            const std::wstring& consequence, std::wstring& note);

}  // namespace quarn
