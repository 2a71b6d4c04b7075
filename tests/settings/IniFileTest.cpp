#include "settings/IniFile.h"

#include <gtest/gtest.h>

#include "fakes/FakePlatform.h"

namespace quarn::testing {
namespace {

const std::wstring kFile = L"C:\\Tools\\QuarnBackup.ini";

class IniFileTest : public ::testing::Test {
protected:
    std::wstring Read(const std::wstring& defaultValue) {
        return ReadIniValue(platform, L"ZipFiles", L"ZipFile", defaultValue, kFile);
    }
    std::size_t Writes() const {
        std::size_t count = 0;
        for (const auto& event : platform.events) count += event.rfind(L"ini write", 0) == 0;
        return count;
    }
    FakePlatform platform;
};

TEST_F(IniFileTest, MissingSettingGivesItsDefaultAndWritesItOnce) {
    EXPECT_EQ(Read(L"QuarnLogsZip.rar"), L"QuarnLogsZip.rar");
    EXPECT_EQ(Writes(), 1u);
    EXPECT_EQ(Read(L"other.rar"), L"QuarnLogsZip.rar");  // now stored: no second write
    EXPECT_EQ(Writes(), 1u);
}

TEST_F(IniFileTest, EmptyValueCountsAsMissingAndIsOverwritten) {
    WriteIniValue(platform, L"ZipFiles", L"ZipFile", L"", kFile);
    EXPECT_EQ(Read(L"QuarnLogsZip.rar"), L"QuarnLogsZip.rar");
    EXPECT_EQ(platform.ReadProfileText(L"ZipFiles", L"ZipFile", 255, kFile), L"QuarnLogsZip.rar");
}

TEST_F(IniFileTest, EmptyDefaultIsReturnedWithoutWriting) {
    EXPECT_EQ(Read(L""), L"");
    EXPECT_EQ(Writes(), 0u);
}

TEST_F(IniFileTest, StoredValueWinsAndLongValuesAreCutAt254Characters) {
    WriteIniValue(platform, L"ZipFiles", L"ZipFile", std::wstring(300, L'x'), kFile);
    EXPECT_EQ(Read(L"QuarnLogsZip.rar"), std::wstring(254, L'x'));
    EXPECT_EQ(Writes(), 1u);
}

}  // namespace
}  // namespace quarn::testing
