#include "common/LocalTime.h"

namespace quarn {
namespace {

std::wstring TwoDigits(int value) { return (value < 10 ? L"0" : L"") + std::to_wstring(value); }

}  // namespace

std::wstring LocalTimeText(const LocalTime& at, bool withSeconds) {
    std::wstring text = std::to_wstring(at.year) + L"-" + TwoDigits(at.month) + L"-" +
                        TwoDigits(at.day) + L" " + TwoDigits(at.hour) + L":" + TwoDigits(at.minute);
    if (withSeconds) text += L":" + TwoDigits(at.second);
    return text;
}

}  // namespace quarn
