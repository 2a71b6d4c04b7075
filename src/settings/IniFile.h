#pragma once

#include <string>

#include "platform/Platform.h"

namespace quarn {

// The settings file is read and written by the profile functions, in the ANSI code
// page or, with a byte-order mark, in UTF-16; a file without one that is UTF-8 and
// holds more than ASCII is read and written as UTF-8. A new file is made UTF-16.

// Reads a setting; a missing or empty one yields the default, which is then
// written back so that the file shows every setting with its value. Stops the run
// when the file is there but cannot be read.
std::wstring ReadIniValue(Platform& platform, const std::wstring& section, const std::wstring& key,
                          const std::wstring& defaultValue, const std::wstring& filePath);

Status WriteIniValue(Platform& platform, const std::wstring& section, const std::wstring& key,
                     const std::wstring& value, const std::wstring& filePath);

}  // namespace quarn
