#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "platform/Platform.h"

namespace quarn {

// Nothing read, a text (REG_SZ, or REG_EXPAND_SZ already expanded) or a REG_DWORD.
using RegistryValue = std::variant<std::monostate, std::wstring, std::int32_t>;

inline constexpr std::uint32_t kRegistryAccess = 0x3F;
inline constexpr long kUnsupportedRegistryType = -1;

// Opens the key below HKEY_CURRENT_USER, reads one value and closes the key again.
RegistryValue ReadRegistryValue(Platform& platform, const std::wstring& subKey,
                                const std::wstring& valueName);

// Leaves value untouched unless it reads one. Returns 0, the system's error code,
// or kUnsupportedRegistryType.
long QueryRegistryValue(Platform& platform, RegistryKey& key, const std::wstring& valueName,
                        RegistryValue& value);

// Empty gives "", an integer its decimal digits, a text itself.
std::wstring RegistryValueToText(const RegistryValue& value);

}  // namespace quarn
