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
                              L"run cmd /d /u /v:off /c QuarnBackup.bat",
                              L"run rar a -r -ep -df -m5  -inul \"C:\\Backups\\QuarnMail\\"
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
                                                     L"Current Directory : C:\\Tools\\QuarnLogBackup\\QuarnStaging",
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

TEST_F(RunBackupTest, NoLinkCanHideThatTheProgramIsInsideTheDataFolder) {
    platform.AddDirectory(L"D:\\Becky\\Tools");
    platform.AddDirectory(L"C:\\Linked\\QuarnLogBackup");
    platform.links[L"C:\\Linked"] = L"D:\\Becky";  // a folder above the program
    platform.programFolder = L"C:\\Linked\\QuarnLogBackup";
    EXPECT_EQ(form.Form_Load(), ExitCode::ProgramInDataDir);

    platform.links.clear();
    platform.links[platform.programFolder] = L"D:\\Becky\\Tools";  // the program folder itself
    EXPECT_EQ(form.Form_Load(), ExitCode::ProgramInDataDir);

    platform.links.clear();
    platform.links[L"M:\\"] = L"D:\\Becky";  // the data folder through a second drive letter
    platform.AddDirectory(L"M:\\");
    platform.SetRegistryText(L"DataDir", L"M:\\");
    platform.programFolder = L"D:\\Becky\\Tools";
    EXPECT_EQ(form.Form_Load(), ExitCode::ProgramInDataDir);
    platform.programFolder = L"D:\\BeckyTools";
    platform.AddDirectory(L"D:\\BeckyTools");
    EXPECT_EQ(form.Form_Load(), ExitCode::Done);
}

TEST_F(RunBackupTest, EveryRunLeavesOneLineInTheRunLog) {
    platform.clockStepMs = 12345;
    platform.AddFile(L"D:\\Becky\\acct\\in.bkl", L"in");
    platform.onProcess = ListingAndArchiver(platform, {L"D:\\Becky\\acct\\in.bkl"});
    EXPECT_EQ(form.Form_Load(), ExitCode::Done);
    platform.SetRegistryDword(L"SentBackLog", 0);
    EXPECT_EQ(form.Form_Load(), ExitCode::OptionsOff);
    const std::wstring log = platform.programFolder + L"\\QuarnBackup.log";
    EXPECT_EQ(platform.FileBytes(log).substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_EQ(RunLog(),
              L"2026-12-07 23:00:04  exit 0  archived 1 logs to C:\\Backups\\QuarnMail\\QuarnLogsZip.rar "
              L"in 12.3 s\r\n"
              L"2026-12-07 23:00:04  exit 1  archived 0 logs in 12.3 s  You have not enabled Backup "
              L"Incoming Messages  | and Backup Outgoing Messages options in Becky.\r\n");

    // Past 1 MiB the log becomes the old log; a log that cannot be written changes nothing.
    platform.AddFileBytes(log, std::string(1024 * 1024 + 1, 'x'));
    EXPECT_EQ(form.Form_Load(), ExitCode::OptionsOff);
    EXPECT_EQ(platform.FileBytes(platform.programFolder + L"\\QuarnBackup.old.log").size(), 1024u * 1024 + 1);
    EXPECT_EQ(RunLog().rfind(L"2026-12-07 23:00:04  exit 1", 0), 0u);
    platform.unwritableFiles.insert(log);
    EXPECT_EQ(form.Form_Load(), ExitCode::OptionsOff);
}

TEST_F(RunBackupTest, WhereNoOneCanSeeABoxNoneIsShownAndTheLogSaysIt) {
    platform.someoneWatching = false;
    SetSetting(L"ShowMessages", L"ShowMsg", L"1");
    EXPECT_EQ(form.Form_Load(), ExitCode::Done);
    platform.SetRegistryDword(L"RecvBackLog", 0);
    EXPECT_EQ(form.Form_Load(), ExitCode::OptionsOff);
    EXPECT_TRUE(platform.boxes.empty());
    EXPECT_NE(RunLog().find(L"exit 1  archived 0 logs in 0.0 s  You have not enabled"), std::wstring::npos);
}

TEST_F(RunBackupTest, ASecondRunFromTheSameFolderTouchesNothing) {
    form.Form_Load();
    ASSERT_EQ(platform.lockNames.size(), 1u);
    EXPECT_EQ(platform.lockNames[0].rfind(L"Global\\QuarnLogBackup.", 0), 0u);
    EXPECT_EQ(platform.lockNames[0].find(L'\\', 7), std::wstring::npos);
    EXPECT_FALSE(platform.runLockHeld);  // released at the end of the run

    platform.AddDirectory(L"C:\\Linked\\QuarnLogBackup");
    platform.links[L"C:\\Linked"] = L"C:\\Tools";
    platform.programFolder = L"C:\\Linked\\QuarnLogBackup";  // through a link: the same lock
    form.Form_Load();
    EXPECT_EQ(platform.lockNames[1], platform.lockNames[0]);

    platform.programFolder = L"c:\\tools\\quarnlogbackup\\";  // another spelling, the same lock
    platform.runLockHeldElsewhere = true;
    platform.events.clear();
    EXPECT_EQ(form.Form_Load(), ExitCode::AnotherRunInProgress);
    EXPECT_EQ(platform.lockNames[2], platform.lockNames[0]);
    EXPECT_EQ(BoxTexts().back(), L"Another backup run from c:\\tools\\quarnlogbackup\\ is in "
                                 L"progress. This run did nothing.");
    EXPECT_FALSE(HasEvent(L"query "));
    EXPECT_FALSE(HasEvent(L"ini "));
    EXPECT_NE(RunLog().find(L"exit 12"), std::wstring::npos);

    platform.programFolder = L"C:\\Tools\\Other";
    platform.AddDirectory(platform.programFolder);
    platform.runLockHeldElsewhere = false;
    EXPECT_EQ(form.Form_Load(), ExitCode::Done);
    EXPECT_NE(platform.lockNames[3], platform.lockNames[0]);

    // Another folder, or another computer, writing the same archive.
    const std::wstring archiveLock = L"C:\\Backups\\QuarnMail\\QuarnLogsZip.rar.lock";
    EXPECT_TRUE(platform.HasFile(archiveLock));
    EXPECT_TRUE(platform.lockedFiles.empty());  // released at the end of the run
    platform.lockedElsewhere.insert(archiveLock);
    platform.events.clear();
    EXPECT_EQ(form.Form_Load(), ExitCode::AnotherRunInProgress);
    EXPECT_EQ(BoxTexts().back(), L"Another backup run (from another program folder or another "
                                 L"computer) is writing the archive C:\\Backups\\QuarnMail\\"
                                 L"QuarnLogsZip.rar. This run did nothing.");
    EXPECT_FALSE(HasEvent(L"run "));
    platform.lockedElsewhere.clear();
    platform.unwritableFiles.insert(archiveLock);
    EXPECT_EQ(form.Form_Load(), ExitCode::BackupDirUnusable);
}

TEST_F(RunBackupTest, BackupDirWithForwardSlashesIsReadAsWindowsReadsIt) {
    SetSetting(L"BackupDirectory", L"BackupDir", L"C:/Backups/Mail");
    EXPECT_EQ(form.Form_Load(), ExitCode::Done);
    EXPECT_TRUE(platform.HasDirectory(L"C:\\Backups\\Mail"));
    EXPECT_EQ(platform.started.back().commandLine,
              L"rar a -r -ep -df -m5  -inul \"C:\\Backups\\Mail\\QuarnLogsZip.rar\" *.bkl *.bks");
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
