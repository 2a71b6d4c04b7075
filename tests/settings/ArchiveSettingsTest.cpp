#include "settings/ArchiveSettings.h"

#include <gtest/gtest.h>

#include "fakes/StopOf.h"

namespace quarn::testing {
namespace {

TEST(ArchiveSettingsTest, SettingsThatCannotFormAnArchivePathAreRefused) {
    for (const wchar_t* fine : {L"logs (1) \u00E9.rar", L"CONSOLE.rar", L".rar"}) {
        EXPECT_NO_THROW(CheckArchiveSettings(L"D:\\Arch & Co", fine)) << fine;
    }
    for (const auto& [dir, zip, named] :
         {std::tuple{L"D:\\A\"rch", L"logs.rar", L"BackupDir"}, std::tuple{L"D:\\Arch", L"\"x", L"ZipFile"},
          std::tuple{L"D:\\Arch", L"", L"ZipFile"}, std::tuple{L"D:\\Arch", L"*.rar", L"ZipFile"},
          std::tuple{L"D:\\Arch", L"D:x.rar", L"ZipFile"}, std::tuple{L"D:\\Arch", L"a\tb.rar", L"ZipFile"},
          std::tuple{L"D:\\Arch", L"..\\escaped.rar", L"ZipFile"}, std::tuple{L"D:\\Arch", L"sub/x.rar", L"ZipFile"},
          std::tuple{L"D:\\Arch", L"endslash\\", L"ZipFile"}, std::tuple{L"D:\\Arch", L"CON.rar", L"ZipFile"},
          std::tuple{L"D:\\Arch", L"Com1.logs.rar", L"ZipFile"}, std::tuple{L"D:\\Arch", L"prn .rar", L"ZipFile"},
          std::tuple{L"D:\\Arch", L"COM\u00B2.rar", L"ZipFile"}, std::tuple{L"D:\\Arch", L"logs.rar ", L"ZipFile"},
          std::tuple{L"D:\\Arch", L"logs.rar.", L"ZipFile"}}) {
        const Stop stop = StopOf([&, dir = dir, zip = zip] { CheckArchiveSettings(dir, zip); });
        EXPECT_EQ(stop.code, ExitCode::SettingInvalid) << zip;
        EXPECT_NE(stop.message.find(named), std::wstring::npos) << zip;
        EXPECT_NE(stop.message.find(std::wstring(L"(") + (named == std::wstring(L"ZipFile") ? zip : dir) + L")"),
                  std::wstring::npos) << zip;
    }
}

}  // namespace
}  // namespace quarn::testing
