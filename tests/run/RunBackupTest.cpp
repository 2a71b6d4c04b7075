#include <gtest/gtest.h>

#include "fakes/RunFixture.h"
#include "run/ShowMessage.h"

namespace quarn::testing {
namespace {

using RunBackupTest = RunFixture;

TEST_F(RunBackupTest, FirstRunWritesTheDefaultsInOrderAndShowsNothing) {
    EXPECT_EQ(form.Form_Load(), ExitCode::Done);
    const auto& written = platform.profiles[SettingsFileKey()];
    ASSERT_EQ(written.size(), 3u);
    EXPECT_EQ(written[0], (std::vector<std::wstring>{L"BackupDirectory", L"BackupDir",
                                                     L"C:\\Backups\\QuarnMail"}));
    EXPECT_EQ(written[1], (std::vector<std::wstring>{L"ZipFiles", L"ZipFile", L"QuarnLogsZip.rar"}));
    EXPECT_EQ(written[2], (std::vector<std::wstring>{L"ShowMessages", L"ShowMsg", L"0"}));
    EXPECT_TRUE(platform.boxes.empty());
    EXPECT_TRUE(platform.HasDirectory(L"C:\\Backups\\QuarnMail"));
}

TEST_F(RunBackupTest, StagesRunInOrderFromTheProgramFolder) {
    platform.currentDirectory = L"C:\\";
    form.Form_Load();
    std::vector<std::wstring> milestones;
    for (const auto& event : platform.events) {
        for (const wchar_t* prefix : {L"cd ", L"query DataDir", L"ini read BackupDirectory",
                                      L"mkdir C:\\Backups\\QuarnMail", L"run "}) {
            if (event.rfind(prefix, 0) == 0 && (milestones.empty() || milestones.back() != event)) {
                milestones.push_back(event);
            }
        }
    }
    const std::wstring settings = L"ini read BackupDirectory.BackupDir " + SettingsFile();
    EXPECT_EQ(milestones, (std::vector<std::wstring>{
                              L"cd C:\\Tools\\QuarnLogBackup", L"query DataDir", settings,
                              L"cd C:\\", L"cd C:\\Backups", L"mkdir C:\\Backups\\QuarnMail",
                              L"cd C:\\Backups\\QuarnMail", L"cd C:\\Tools\\QuarnLogBackup",
                              L"run QuarnBackup.bat",
                              L"run rar a -ep -df -m5  -inul \"C:\\Backups\\QuarnMail\\"
                              L"QuarnLogsZip.rar\" *.bkl *.bks"}));
}

TEST_F(RunBackupTest, OnlyExactlyOneTurnsMessagesOn) {
    for (const wchar_t* value : {L"yes", L"01", L" 1", L"true"}) {
        platform.profiles.clear();
        platform.boxes.clear();
        SetSetting(L"ShowMessages", L"ShowMsg", value);
        form.Form_Load();
        EXPECT_TRUE(platform.boxes.empty()) << value;
    }
    platform.profiles.clear();
    SetSetting(L"ShowMessages", L"ShowMsg", L"1");
    SetSetting(L"BackupDirectory", L"BackupDir", L"C:\\Tools");
    form.Form_Load();
    EXPECT_EQ(BoxTexts(), (std::vector<std::wstring>{L"Backup Directory is : C:\\Tools",
                                                     L"Current Directory : C:\\Tools\\QuarnLogBackup",
                                                     L"Quarn Log files Backed Up"}));
    EXPECT_EQ(platform.boxes.front().title, L"Quarn Logs Backup");
}

TEST_F(RunBackupTest, OptionsOffStopsBeforeAnySettingIsRead) {
    platform.SetRegistryDword(L"RecvBackLog", 0);
    EXPECT_EQ(form.Form_Load(), ExitCode::OptionsOff);
    EXPECT_FALSE(HasEvent(L"ini "));
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].title, L"QuarnBackupLogs Error");
}

TEST_F(RunBackupTest, ProgramInsideTheDataFolderIsRefusedBeforeWritingAnything) {
    for (const wchar_t* folder : {L"D:\\Becky", L"d:\\becky\\Tools"}) {
        platform.programFolder = folder;
        platform.AddDirectory(folder);
        platform.events.clear();
        EXPECT_EQ(form.Form_Load(), ExitCode::ProgramInDataDir) << folder;
        EXPECT_FALSE(HasEvent(L"ini ")) << folder;
        EXPECT_NE(platform.boxes.back().text.find(L"mail data folder"), std::wstring::npos);
    }
    platform.programFolder = L"D:\\BeckyTools";  // a sibling is fine
    platform.AddDirectory(L"D:\\BeckyTools");
    EXPECT_EQ(form.Form_Load(), ExitCode::Done);
}

TEST_F(RunBackupTest, ProgramFolderThatCannotBeEnteredStops) {
    platform.programFolder = L"C:\\Vanished";
    EXPECT_EQ(form.Form_Load(), ExitCode::WorkingFolderUnusable);
    EXPECT_NE(platform.boxes.back().text.find(L"C:\\Vanished"), std::wstring::npos);
}

TEST_F(RunBackupTest, ErrorBoxIsShownEvenWhenMessagesAreOff) {
    SetSetting(L"ZipFiles", L"ZipFile", L"a\"b.rar");
    EXPECT_EQ(form.Form_Load(), ExitCode::SettingInvalid);
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].title, L"QuarnBackupLogs Error");
    EXPECT_NE(platform.boxes[0].text.find(L"ZipFile"), std::wstring::npos);
    EXPECT_FALSE(HasEvent(L"run "));
}

TEST_F(RunBackupTest, ShowMessageObeysTheSilentSwitch) {
    form.bIsSilent = true;
    ShowMessage(L"hidden");
    form.bIsSilent = false;
    ShowMessage(L"shown");
    EXPECT_EQ(BoxTexts(), std::vector<std::wstring>{L"shown"});
}

}  // namespace
}  // namespace quarn::testing
