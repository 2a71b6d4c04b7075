#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace quarn {

// The archiver's bare list of the archive's entries goes to this file in the
// working folder; it is removed once read.
inline constexpr wchar_t kArchiveListFile[] = L"archivelist.tmp";

// "rar lb" lists the entries' names one a line; "-scur" writes that list, when it goes
// to a file, as UTF-16 whatever the system's code pages. The command interpreter
// sends it to the file.
std::wstring ArchiveListingCommand(const std::wstring& archivePath);

// The names of every entry in the archive, from the archiver, run in workingFolder for
// at most timeoutMs. Stops the run when the archiver cannot list the archive.
std::vector<std::wstring> ListArchiveNames(Platform& platform, const std::wstring& archivePath,
                                           const std::wstring& workingFolder,
                                           std::uint32_t timeoutMs);

}  // namespace quarn
