#pragma once

#include <string>

namespace quarn {

// Stops the run when the settings cannot form the archive path: a quote in
// BackupDir, or a ZipFile that is no single plain file name (empty, a folder part,
// a character no file name can hold, a trailing space or dot, a device name).
void CheckArchiveSettings(const std::wstring& backupDir, const std::wstring& zipFile);

}  // namespace quarn
