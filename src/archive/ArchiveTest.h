#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/Platform.h"

namespace quarn {

// Has the archiver read every entry of the archive and check its CRC-32, run in
// programFolder for at most timeoutMs: the one way to find damage inside an entry
// that no update touches. Returns why the archive is damaged; none when it is whole.
// Stops the run, with consequence at the end of its message, when the archiver
// cannot test it at all. note: see RunArchiverCommand.
std::optional<std::wstring> TestArchive(Platform& platform, const std::wstring& archivePath,
                         const std::wstring& programFolder, std::uint32_t timeoutMs,
                         const std::wstring& consequence, std::wstring& note);

}  // namespace quarn
