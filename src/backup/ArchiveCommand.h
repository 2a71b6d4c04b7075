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

// Runs the archiver in the staging folder and waits at most timeoutMs for it.
// Sets archived to the number of copies it took away, then stops the run unless
// it succeeded and took every file in the staging folder.
void RunArchiver(Platform& platform, const std::wstring& backupDir, const std::wstring& zipFile,
                 const std::wstring& stagingFolder, std::uint32_t timeoutMs,
                 std::size_t& archived);

}  // namespace quarn
