#pragma once

#include <functional>
#include <string>

#include "platform/Platform.h"

namespace quarn {

// Shows a progress message (or not, as the run's settings say).
using ProgressReport = std::function<void(const std::wstring&)>;

// Creates the missing levels of a drive path ("C:\a\b") or share path
// ("\\server\share\a\b"), also in the \\?\ form, one at a time from its root,
// reporting each level. Stops the run at the first level that cannot be made.
void CreateDirectoryChain(Platform& platform, const std::wstring& path,
                          const ProgressReport& report);

// Makes sure the backup directory exists; stops the run when it cannot, or when
// the setting is no full path or names a file.
void PrepareBackupDirectory(Platform& platform, const std::wstring& backupDir,
                            const ProgressReport& report);

}  // namespace quarn
