#include "settings/MailClientSettings.h"

#include <gtest/gtest.h>

#include "fakes/FakePlatform.h"
#include "fakes/StopOf.h"

namespace quarn::testing {
namespace {

class MailClientSettingsTest : public ::testing::Test {
protected:
    MailClientSettingsTest() {
        platform.AddDirectory(L"D:\\Mail");
        platform.SetRegistryText(L"DataDir", L"D:\\Mail\\");
        platform.SetRegistryDword(L"RecvBackLog", 1);
        platform.SetRegistryDword(L"SentBackLog", 1);
    }
    ExitCode StopCode() {
        const Stop stop = StopOf([&] { ReadMailClientDataDir(platform); });
        message = stop.message;
        return stop.code;
    }
    FakePlatform platform;
    std::wstring message;
};

TEST_F(MailClientSettingsTest, ReadsTheThreeValuesInOrder) {
    EXPECT_EQ(ReadMailClientDataDir(platform), L"D:\\Mail\\");
    std::vector<std::wstring> queried;
    for (const auto& event : platform.events) {
        if (event.rfind(L"query ", 0) == 0 && (queried.empty() || queried.back() != event)) {
            queried.push_back(event);
        }
    }
    EXPECT_EQ(queried, (std::vector<std::wstring>{L"query DataDir", L"query RecvBackLog",
                                                  L"query SentBackLog"}));
}

TEST_F(MailClientSettingsTest, AnOptionOfZeroStopsWithTheOptionsMessage) {
    for (const auto& name : {L"RecvBackLog", L"SentBackLog"}) {
        platform.SetRegistryDword(L"RecvBackLog", 1);
        platform.SetRegistryDword(L"SentBackLog", 1);
        platform.SetRegistryDword(name, 0);
        EXPECT_EQ(StopCode(), ExitCode::OptionsOff) << name;
        EXPECT_EQ(message, L"You have not enabled Backup Incoming Messages \r\n"
                           L"and Backup Outgoing Messages options in Becky.");
        platform.SetRegistryText(name, L"0");  // a text "0" is just as off
        EXPECT_EQ(StopCode(), ExitCode::OptionsOff) << name;
    }
}

TEST_F(MailClientSettingsTest, OptionsThatAreMissingOrOtherValuesDoNotStop) {
    platform.registry.erase(L"RecvBackLog");
    platform.SetRegistryText(L"SentBackLog", L"00");
    EXPECT_EQ(StopCode(), ExitCode::Done);
    platform.SetRegistryRaw(L"SentBackLog", 3, {0});
    EXPECT_EQ(StopCode(), ExitCode::Done);
}

TEST_F(MailClientSettingsTest, DataDirLosesTrailingSpacesAndGetsItsTrailingSeparator) {
    platform.SetRegistryText(L"DataDir", L"D:\\Mail");
    EXPECT_EQ(ReadMailClientDataDir(platform), L"D:\\Mail\\");
    platform.SetRegistryText(L"DataDir", L"D:\\Mail   ");
    EXPECT_EQ(ReadMailClientDataDir(platform), L"D:\\Mail\\");
    platform.SetRegistryText(L"DataDir", L"   ");
    EXPECT_EQ(StopCode(), ExitCode::DataDirUnusable);
    EXPECT_NE(message.find(L"empty"), std::wstring::npos);
}

TEST_F(MailClientSettingsTest, UnusableDataDirStopsNamingWhatWasFound) {
    platform.registry.erase(L"DataDir");
    EXPECT_EQ(StopCode(), ExitCode::DataDirUnusable);
    EXPECT_NE(message.find(L"DataDir"), std::wstring::npos);
    EXPECT_NE(message.find(L"missing"), std::wstring::npos);

    platform.SetRegistryText(L"DataDir", L"");
    EXPECT_EQ(StopCode(), ExitCode::DataDirUnusable);
    EXPECT_NE(message.find(L"empty"), std::wstring::npos);

    platform.SetRegistryDword(L"DataDir", 12);
    EXPECT_EQ(StopCode(), ExitCode::DataDirUnusable);
    EXPECT_NE(message.find(L"12"), std::wstring::npos);

    platform.SetRegistryText(L"DataDir", L"E:\\Gone\\");
    EXPECT_EQ(StopCode(), ExitCode::DataDirUnusable);
    EXPECT_NE(message.find(L"E:\\Gone\\"), std::wstring::npos);
}

TEST_F(MailClientSettingsTest, OptionsAreCheckedBeforeTheDataDir) {
    platform.registry.erase(L"DataDir");
    platform.SetRegistryDword(L"SentBackLog", 0);
    EXPECT_EQ(StopCode(), ExitCode::OptionsOff);
}

}  // namespace
}  // namespace quarn::testing
