#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/ArchiveReader.h"
#include "platform/Platform.h"

namespace quarn {

// What the archiver did when it added the copies, also when it failed.
struct CopiesAdded {
    std::size_t archived = 0;  // copies it took away
    std::uint32_t exitCode = 0;
    std::wstring note;         // for the run log: processes it left running
};

// Runs the archiver in the staging folder to add its copies to the archive, waiting
// at most timeoutMs. Fills in added, then stops the run unless the archiver took every
// copy with success, or ended with a warning or a checksum error, which only reading
// the archive back can judge.
void RunArchiver(Platform& platform, const std::wstring& archivePath,
                 const std::wstring& stagingFolder, std::uint32_t timeoutMs, CopiesAdded& added);

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

// Extracts the named entries into folder (which must be there), with the list file in
// listFolder, waiting at most timeoutMs. Returns the archiver's exit code: success, a
// warning or a checksum error where only what is intact came out, or nothing found;
// the caller checks each file that came out. Stops the run on any other.
std::uint32_t ExtractEntries(Platform& platform, const std::wstring& archivePath,
                             const std::vector<std::wstring>& names, const std::wstring& folder,
                             const std::wstring& listFolder, std::uint32_t timeoutMs,
                             const std::wstring& consequence, std::wstring& note);

}  // namespace quarn
