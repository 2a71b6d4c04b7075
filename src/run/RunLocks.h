#pragma once

#include <memory>
#include <string>

#include "platform/Platform.h"

namespace quarn {

// One run at a time per program folder, across sessions: a scheduled run and a
// double-click must not share the program folder's files. Stops the run when
// another run holds it.
std::unique_ptr<RunLock> LockProgramFolder(Platform& platform, const std::wstring& programFolder);

// One run at a time per archive as well: runs from two program folders, or from two
// computers through a share, must not write one archive and its names together.
// The lock is a file beside the archive that the run holds open without sharing.
std::unique_ptr<RunLock> LockArchive(Platform& platform, const std::wstring& archivePath);

}  // namespace quarn
