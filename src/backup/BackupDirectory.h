#pragma once

#include <functional>
#include <string>

#include "platform/Platform.h"

namespace quarn {

// True when an entry of that name exists: with isDirectory, a directory or a file.
bool PathExists(Platform& platform, const std::wstring& path, bool isDirectory = false);

// Shows a progress message (or not, as the run's settings say).
using ProgressReport = std::function<void(const std::wstring&)>;

// Creates the missing levels of a drive path ("C:\a\b") or share path
// ("\\server\share\a\b") one at a time from its root, reporting each level. A level
// that cannot be made or entered is passed over. Leaves the deepest level entered
// as the working folder.
void CreateDirectoryChain(Platform& platform, const std::wstring& path,
                          const ProgressReport& report);

// Makes sure the backup directory exists; stops the run when it cannot.
void PrepareBackupDirectory(Platform& platform, const std::wstring& backupDir,
                            const ProgressReport& report);

}  // namespace quarn
