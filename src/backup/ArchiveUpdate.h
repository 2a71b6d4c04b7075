#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/Platform.h"

namespace quarn {

// What the archiver did when it added the copies, also when it failed.
struct ArchiverRun {
    std::size_t archived = 0;  // copies it took away
    std::uint32_t exitCode = 0;
    std::wstring damage;       // the archiver found the archive damaged; empty when not
    std::wstring note;         // for the run log: processes it left running
};

// Runs the archiver in the staging folder to add its copies to the archive, waiting
// at most timeoutMs. Fills in run, then stops the run unless the archiver took every
// copy with success, a warning (which only a read-back can judge) or a checksum error
// (the archive is damaged: the caller sets it aside).
void RunArchiver(Platform& platform, const std::wstring& archivePath,
                 const std::wstring& stagingFolder, std::uint32_t timeoutMs, ArchiverRun& run);

// Renames archive entries, each from the first name of a pair to the second, so that
// what they hold stays in the archive when a log's new content takes the first name.
// Run in folder for at most timeoutMs; stops the run when it fails. note: see
// RunArchiverCommand.
void RenameEntries(Platform& platform, const std::wstring& archivePath,
                   const std::vector<std::pair<std::wstring, std::wstring>>& renames,
                   const std::wstring& folder, std::uint32_t timeoutMs, std::wstring& note);

}  // namespace quarn
