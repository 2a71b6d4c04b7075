#include "settings/IniFile.h"

namespace quarn {
namespace {

// Values longer than 254 characters are cut there.
constexpr std::size_t kValueBufferChars = 255;

}  // namespace

std::wstring ReadIniValue(Platform& platform, const std::wstring& section, const std::wstring& key,
                          const std::wstring& defaultValue, const std::wstring& filePath) {
    std::wstring value = platform.ReadProfileText(section, key, kValueBufferChars, filePath);
    if (!value.empty()) return value;
    if (!defaultValue.empty()) {
        // A failed write is not fatal: the next run tries again.
        WriteIniValue(platform, section, key, defaultValue, filePath);
    }
    return defaultValue;
}

bool WriteIniValue(Platform& platform, const std::wstring& section, const std::wstring& key,
                   const std::wstring& value, const std::wstring& filePath) {
    return platform.WriteProfileText(section, key, value, filePath);
}

}  // namespace quarn
