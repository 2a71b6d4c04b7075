#include "common/Calendar.h"

#include "common/NumberText.h"
#include "common/TextEncoding.h"

namespace quarn {
namespace {

// Days since 1970-01-01 back to the civil date (the inverse of DayNumber).
LocalTime DateOf(std::int64_t day) {
    day += 719468;
    const std::int64_t era = (day >= 0 ? day : day - 146096) / 146097;
    const std::int64_t dayOfEra = day - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    const int dayOfMonth = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    const int month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    const int year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
    return {year, month, dayOfMonth, 0, 0, 0};
}

}  // namespace

std::int64_t DayNumber(const LocalTime& at) {
    // The days-from-civil count of the proleptic Gregorian calendar.
    const std::int64_t year = at.year - (at.month <= 2 ? 1 : 0);
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (at.month + (at.month > 2 ? -3 : 9)) + 2) / 5 + at.day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

std::wstring DayText(std::int64_t day) {
    return LocalTimeText(DateOf(day), false).substr(0, 10);
}

std::optional<std::int64_t> ParseDay(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
    const std::optional<std::uint64_t> year = ParseDecimal(text.substr(0, 4));
    const std::optional<std::uint64_t> month = ParseDecimal(text.substr(5, 2));
    const std::optional<std::uint64_t> dayOfMonth = ParseDecimal(text.substr(8, 2));
    if (!year || !month || !dayOfMonth) return std::nullopt;
    const std::int64_t day = DayNumber({static_cast<int>(*year), static_cast<int>(*month),
                                        static_cast<int>(*dayOfMonth), 0, 0, 0});
    if (DayText(day) != FromUtf8(std::string(text)).value_or(L"")) return std::nullopt;  // no such day
    return day;
}

}  // namespace quarn
