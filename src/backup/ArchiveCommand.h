#pragma once

#include <cstdint>
#include <string>

#include "platform/Platform.h"

namespace quarn {

// Stops the run when the settings cannot be put between the quotes of the archive path.
void CheckArchiveSettings(const std::wstring& backupDir, const std::wstring& zipFile);

std::wstring ArchivePath(const std::wstring& backupDir, const std::wstring& zipFile);

// Adds the staged copies of the working folder, and only those, to the archive:
// no -r, since subfolders of the program's folder may hold logs that are not ours.
std::wstring BuildArchiveCommand(const std::wstring& backupDir, const std::wstring& zipFile);

// The archiver's documented meaning of an exit code.
std::wstring DescribeArchiverExit(std::uint32_t exitCode);

// Runs the archiver and waits for it; stops the run unless it succeeded.
void RunArchiver(Platform& platform, const std::wstring& backupDir, const std::wstring& zipFile);

}  // namespace quarn
