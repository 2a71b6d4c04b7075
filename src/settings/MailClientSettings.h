#pragma once

#include <string>

#include "platform/Platform.h"

namespace quarn {

inline constexpr wchar_t kMailClientKey[] = L"Software\\RimArts\\Quarn\\Settings";

// Reads the mail client's data directory and its two backup-log options. Stops the
// run when an option is off or the data directory is unusable; otherwise returns the
// data directory, ending in "\".
std::wstring ReadMailClientDataDir(Platform& platform);

}  // namespace quarn
