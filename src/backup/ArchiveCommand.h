#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Platform.h"

namespace quarn {

std::wstring ArchivePath(const std::wstring& backupDir, const std::wstring& zipFile);

// Adds the copies in the folder it runs in and its subfolders (the staging folder,
// which holds nothing else) to the archive under their names alone, and deletes them.
std::wstring BuildArchiveCommand(const std::wstring& backupDir, const std::wstring& zipFile);

// The archiver's documented meaning of an exit code.
std::wstring DescribeArchiverExit(std::uint32_t exitCode);

// What the archiver did, also when it failed.
struct ArchiverRun {
    std::size_t archived = 0;  // copies it took away
    std::wstring note;         // for the run log: processes it left running
};

// Runs the archiver in the staging folder and waits at most timeoutMs for it.
// Fills in run, then stops the run unless the archiver succeeded and took every
// file in the staging folder.
void RunArchiver(Platform& platform, const std::wstring& backupDir, const std::wstring& zipFile,
                 const std::wstring& stagingFolder, std::uint32_t timeoutMs, ArchiverRun& run);

}  // namespace quarn
