#pragma once

#include <string>

#include "platform/Platform.h"

namespace quarn {

// Reads a setting; a missing or empty one yields the default, which is then
// written back so that the file shows every setting with its value.
std::wstring ReadIniValue(Platform& platform, const std::wstring& section, const std::wstring& key,
                          const std::wstring& defaultValue, const std::wstring& filePath);

bool WriteIniValue(Platform& platform, const std::wstring& section, const std::wstring& key,
                   const std::wstring& value, const std::wstring& filePath);

}  // namespace quarn
