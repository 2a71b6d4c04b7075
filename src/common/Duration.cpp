#include "common/Duration.h"

namespace quarn {

std::wstring DurationText(std::uint32_t milliseconds) {
    const std::uint32_t seconds = milliseconds / 1000;
    const auto counted = [](std::uint32_t count, const wchar_t* unit) {
        return std::to_wstring(count) + L" " + unit + (count == 1 ? L"" : L"s");
    };
    if (seconds > 0 && seconds % 3600 == 0) return counted(seconds / 3600, L"hour");
    if (seconds > 0 && seconds % 60 == 0) return counted(seconds / 60, L"minute");
    return counted(seconds, L"second");
}

}  // namespace quarn
