#include "common/WindowsNames.h"

#include <gtest/gtest.h>

namespace quarn {
namespace {

TEST(WindowsNamesTest, DeviceNamesInAnyCaseAlsoBeforeAnExtensionOrTrailingSpaces) {
    for (const wchar_t* device :
         {L"CON", L"prn", L"Aux.rar", L"nul.x.bks", L"CON.", L"CON .rar", L"aux  ", L"CONIN$",
          L"conout$.bkl", L"com0", L"COM9.rar", L"lpt0", L"LPT9", L"com\u00B9", L"LPT\u00B2.bkl",
          L"Com\u00B3"}) {
        EXPECT_TRUE(IsDeviceName(device)) << device;
    }
    for (const wchar_t* name :
         {L"", L"CONSOLE.rar", L"con_.bkl", L"nul-x.rar", L"x.con", L".con", L"CONIN", L"conout$x",
          L"COM", L"com10", L"LPTX", L"COM\u2074", L"LPT\u00B9\u00B9"}) {
        EXPECT_FALSE(IsDeviceName(name)) << name;
    }
}

TEST(WindowsNamesTest, ControlCharactersAndNineOthersCannotBeInAName) {
    for (const wchar_t c : std::wstring(L"\0\x01\t\n\x1F<>:\"/\\|?*", 14)) {
        EXPECT_TRUE(IsInvalidNameCharacter(c)) << static_cast<int>(c);
    }
    for (const wchar_t c : std::wstring(L" .-_~$'%&()[]{}\x7F\u00E9\u00B9")) {
        EXPECT_FALSE(IsInvalidNameCharacter(c)) << static_cast<int>(c);
    }
}

}  // namespace
}  // namespace quarn
