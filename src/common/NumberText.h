#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quarn {

// Whole decimal numbers as the program's own files keep them: digits only, none
// when anything else stands there or the number does not fit.
std::optional<std::uint64_t> ParseDecimal(std::string_view text);

// A CRC-32 as eight lower-case hex digits, and back.
std::string Hex8(std::uint32_t value);
std::optional<std::uint32_t> ParseHex8(std::string_view text);

}  // namespace quarn
