#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/LocalTime.h"

namespace quarn {

// Days since 1970-01-01 of the local date, and back.
std::int64_t DayNumber(const LocalTime& at);
// "2026-12-08".
std::wstring DayText(std::int64_t day);
// None for a text of another form or no such day.
std::optional<std::int64_t> ParseDay(std::string_view text);

}  // namespace quarn
