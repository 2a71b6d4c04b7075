#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace quarn {

// Extracts the named entries into folder (which must be there), with the list file in
// listFolder, waiting at most timeoutMs. Returns the archiver's exit code: success, a
// warning or a checksum error where only what is intact came out, or nothing found;
// the caller checks each file that came out. Stops the run on any other.
std::uint32_t ExtractEntries(Platform& platform, const std::wstring& archivePath,
                             const std::vector<std::wstring>& names, const std::wstring& folder,
                             const std::wstring& listFolder, std::uint32_t timeoutMs,
                             const std::wstring& consequence, std::wstring& note);

}  // namespace quarn
