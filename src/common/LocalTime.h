#pragma once

#include <string>

namespace quarn {

struct LocalTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// "2026-12-07 20:49", or with seconds "2026-12-07 20:49:09": sorts as it reads.
std::wstring LocalTimeText(const LocalTime& at, bool withSeconds);

}  // namespace quarn
