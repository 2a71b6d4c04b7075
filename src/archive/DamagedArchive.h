#pragma once

#include <cstdint>
#include <string>

#include "platform/Platform.h"

namespace quarn {

// The name a damaged archive is set aside under: "QuarnLogsZip.rar" found damaged on
// 2026-12-08 becomes "QuarnLogsZip.damaged-20261208.rar" beside it ("-2", ... when that
// is taken).
std::wstring DamagedArchivePath(const std::wstring& archivePath, std::int64_t day, int counter);

// Moves a damaged archive aside, where the program never writes or deletes it again,
// and keeps a copy of its names list beside it ("<aside>.names"). Returns where it
// went. Stops the run when it cannot be moved: the run must not write a damaged archive.
std::wstring SetAsideDamagedArchive(Platform& platform, const std::wstring& archivePath,
                                    const std::wstring& namesPath, std::int64_t day);

}  // namespace quarn
