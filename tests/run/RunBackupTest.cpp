#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <random>
#include <set>

#include "common/TextEncoding.h"
#include "common/TextLines.h"
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

TEST_F(RunBackupTest, StagesRunInOrderWithFullPathsAndTheirChildrenInTheirFolders) {
    platform.AddFile(L"D:\\Becky\\acct\\in.bkl", L"in");
    platform.onProcess = ListingAndArchiver(platform, {L"D:\\Becky\\acct\\in.bkl"});
    form.Form_Load();
    std::vector<std::wstring> milestones;
    for (const auto& event : platform.events) {
        for (const wchar_t* prefix : {L"query DataDir", L"ini read BackupDirectory",
                                      L"mkdir C:\\Backups", L"run "}) {
            if (event.rfind(prefix, 0) == 0 && (milestones.empty() || milestones.back() != event)) {
                milestones.push_back(event);
            }
        }
    }
    const std::wstring settings = L"ini read BackupDirectory.BackupDir " + SettingsFile();
    EXPECT_EQ(milestones, (std::vector<std::wstring>{
                              L"query DataDir", settings, L"mkdir C:\\Backups",
                              L"mkdir C:\\Backups\\QuarnMail",
                              L"run \"C:\\Windows\\system32\\cmd.exe\" /d /u /v:off /c QuarnBackup.bat",
                              L"run \"C:\\Program Files\\WinRAR\\rar.exe\" a -r -ep -df -m5  -inul "
                              L"\"C:\\Backups\\QuarnMail\\QuarnLogsZip.rar\" *.bkl *.bks"}));
    // The archive is read back by the program itself: no further process.
    ASSERT_EQ(platform.started.size(), 2u);
    EXPECT_EQ(platform.started[0].workingFolder, platform.programFolder);
    EXPECT_EQ(platform.started[1].workingFolder, StagingFolder());
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
              L"2026-12-07 23:00:04  exit 0  full run (the archive was missing): archived 1 log to C:\\Backups\\QuarnMail\\QuarnLogsZip.rar "
              L"in 12.3 s\r\n"
              L"2026-12-07 23:00:04  exit 1  did nothing in 12.3 s  You have not enabled Backup "
              L"Incoming Messages  | and Backup Outgoing Messages options in Becky.\r\n");

    // Past 1 MiB the log becomes the old log; a log that cannot be written changes nothing.
    platform.AddFileBytes(log, std::string(1024 * 1024 + 1, 'x'));
    EXPECT_EQ(form.Form_Load(), ExitCode::OptionsOff);
    EXPECT_EQ(platform.FileBytes(platform.programFolder + L"\\QuarnBackup.old.log").size(), 1024u * 1024 + 1);
    EXPECT_EQ(RunLog().rfind(L"2026-12-07 23:00:04  exit 1", 0), 0u);
}

TEST_F(RunBackupTest, ALineTheLogCannotTakeWaitsAndArrivesLateAndEveryTroubleReachesTheEventLog) {
    const std::wstring log = platform.programFolder + L"\\QuarnBackup.log";
    const std::wstring pending = platform.programFolder + L"\\QuarnBackup.pending.log";
    EXPECT_EQ(form.Form_Load(), ExitCode::Done);
    EXPECT_TRUE(platform.eventLog.empty());  // a clean run reports nothing

    platform.unwritableFiles.insert(log);
    platform.now.day = 8;
    EXPECT_EQ(form.Form_Load(), ExitCode::Done);  // nothing else about the run changes
    platform.SetRegistryDword(L"SentBackLog", 0);
    platform.now.day = 9;
    EXPECT_EQ(form.Form_Load(), ExitCode::OptionsOff);
    const std::wstring waiting = platform.FileContent(pending);
    EXPECT_EQ(waiting.rfind(L"2026-12-08 23:00:04  exit 0  full run (the archive was missing): archived 0 logs to C:\\Backups\\QuarnMail\\QuarnLogsZip.rar in 0.0 s", 0), 0u);
    EXPECT_NE(waiting.find(L"\r\n2026-12-09 23:00:04  exit 1  did nothing in 0.0 s  You have not enabled Backup "
                           L"Incoming Messages  | and Backup Outgoing Messages options in Becky.\r\n"),
              std::wstring::npos);
    EXPECT_EQ(std::count(waiting.begin(), waiting.end(), L'\n'), 2);
    ASSERT_EQ(platform.eventLog.size(), 2u);
    EXPECT_EQ(platform.eventLog[0].source, L"QuarnLogBackup");
    EXPECT_EQ(platform.eventLog[0].kind, EventKind::Warning);
    EXPECT_EQ(platform.eventLog[0].id, 100u);
    EXPECT_EQ(platform.eventLog[0].text.rfind(L"2026-12-08 23:00:04  exit 0", 0), 0u);
    EXPECT_NE(platform.eventLog[0].text.find(L"this line waits in QuarnBackup.pending.log"), std::wstring::npos);
    EXPECT_EQ(platform.eventLog[1].kind, EventKind::Error);
    EXPECT_EQ(platform.eventLog[1].id, 101u);
    EXPECT_NE(platform.eventLog[1].text.find(L"You have not enabled Backup Incoming Messages"), std::wstring::npos);

    // Nowhere to write: the event is the only record, and the run still ends as it would.
    platform.unwritableFiles.insert(pending);
    platform.eventLogReachable = false;
    EXPECT_EQ(form.Form_Load(), ExitCode::OptionsOff);
    platform.eventLogReachable = true;
    platform.runLockHeldElsewhere = true;
    EXPECT_EQ(form.Form_Load(), ExitCode::AnotherRunInProgress);
    EXPECT_EQ(platform.eventLog.back().kind, EventKind::Warning);
    EXPECT_EQ(platform.eventLog.back().id, 112u);
    EXPECT_NE(platform.eventLog.back().text.find(L"this event is the only record of the run"), std::wstring::npos);

    // The next run that can write the log writes the waiting lines first, marked late.
    platform.unwritableFiles.clear();
    platform.runLockHeldElsewhere = false;
    platform.now.day = 10;
    EXPECT_EQ(form.Form_Load(), ExitCode::OptionsOff);
    const std::wstring late = L"  (late: QuarnBackup.log could not be written when this run ended)\r\n";
    const std::wstring lines = RunLog();
    const std::size_t first = lines.find(L"2026-12-08 23:00:04  exit 0  full run (the archive was missing): archived 0 logs to C:\\Backups\\QuarnMail\\QuarnLogsZip.rar in 0.0 s");
    EXPECT_EQ(lines.find(late, first), lines.find(L"\r\n", first) - late.size() + 2);
    const std::size_t second = lines.find(L"options in Becky." + late + L"2026-12-10 23:00:04  exit 1");
    EXPECT_NE(first, std::wstring::npos) << lines;
    EXPECT_NE(second, std::wstring::npos) << lines;
    EXPECT_LT(first, second);
    EXPECT_FALSE(platform.HasFile(pending));
}

TEST_F(RunBackupTest, LogsThatVanishAreCountedAndAllOfThemGoneIsAWarningThatTouchesNothing) {
    const std::vector<std::wstring> logs{L"D:\\Becky\\a\\in.bkl", L"D:\\Becky\\b\\in.bkl",
                                         L"D:\\Becky\\c\\out.bks"};
    for (const std::wstring& path : logs) platform.AddFile(path, L"log");
    platform.onProcess = ListingAndArchiver(platform, logs);
    EXPECT_EQ(form.Form_Load(), ExitCode::Done);

    platform.onProcess = ListingAndArchiver(platform, {logs[1]});
    EXPECT_EQ(form.Form_Load(), ExitCode::Done);
    // The log that is still there is unchanged, and counts as found.
    EXPECT_NE(RunLog().find(L"exit 0  nothing changed (1 log unchanged, the archiver was not started) "
                            L"for C:\\Backups\\QuarnMail\\QuarnLogsZip.rar in 0.0 s  "
                            L"2 logs known before have gone missing\r\n"),
              std::wstring::npos);
    ASSERT_EQ(platform.eventLog.size(), 1u);
    EXPECT_EQ(platform.eventLog[0].kind, EventKind::Warning);
    EXPECT_EQ(platform.eventLog[0].id, 100u);

    const std::wstring namesFile = L"C:\\Backups\\QuarnMail\\QuarnLogsZip.rar.names";
    const std::string names = platform.FileBytes(namesFile);
    EXPECT_NE(names.find("\tD:\\Becky\\b\\in.bkl\t"), std::string::npos);
    platform.AddFile(StagingFolder() + L"\\00\\left.bkl", L"left by a failed run");
    platform.SetRegistryText(L"DataDir", L"d:\\becky");  // another spelling of the same folder
    platform.onProcess = ListingAndArchiver(platform, {});
    platform.events.clear();
    EXPECT_EQ(form.Form_Load(), ExitCode::LogsVanished) << BoxTexts().back();
    EXPECT_EQ(BoxTexts().back().rfind(L"The mail data folder d:\\becky\\ (DataDir) holds no log files, but 3 "
                                      L"logs were backed up from it before.", 0), 0u) << BoxTexts().back();
    EXPECT_EQ(platform.FileBytes(namesFile), names);
    EXPECT_FALSE(HasEvent(L"run rar a "));
    EXPECT_FALSE(HasEvent(L"copy "));
    EXPECT_EQ(StagedCopies(), std::vector<std::wstring>{L"left.bkl"});
    EXPECT_EQ(platform.eventLog.back().kind, EventKind::Warning);
    EXPECT_EQ(platform.eventLog.back().id, 114u);

    platform.SetRegistryText(L"DataDir", L"D:\\Other\\");  // a folder that never held logs
    platform.AddDirectory(L"D:\\Other");
    EXPECT_EQ(form.Form_Load(), ExitCode::Done);
}

TEST_F(RunBackupTest, SpaceForEveryCopyIsCheckedBeforeTheFirstOne) {
    const std::vector<std::wstring> logs{L"D:\\Becky\\a\\in.bkl", L"D:\\Becky\\b\\in.bkl"};
    platform.AddFileBytes(logs[0], std::string(5000, 'x'));  // two clusters
    platform.AddFileBytes(logs[1], "");
    platform.onProcess = ListingAndArchiver(platform, logs);
    const std::uint64_t needed = 8192 + 16 * 1024 * 1024;
    platform.freeBytes[L"c:"] = needed - 1;
    EXPECT_EQ(form.Form_Load(), ExitCode::NotEnoughSpace);
    EXPECT_EQ(BoxTexts().back(),
              L"There is not enough free space for the copies of the 2 log files: they need 16.1 MB "
              L"(16.0 MB of it kept free) on the drive of C:\\Tools\\QuarnLogBackup\\QuarnStaging, but "
              L"only 16.0 MB is free there.\r\n\r\nFree some space on that drive, or move the program "
              L"to a drive with more room, and run the backup again. Nothing was copied or backed up.");
    EXPECT_FALSE(HasEvent(L"copy "));
    EXPECT_FALSE(HasEvent(L"run rar"));
    EXPECT_EQ(platform.eventLog.back().id, 115u);
    EXPECT_NE(RunLog().find(L"exit 15  did nothing for C:\\Backups"), std::wstring::npos);

    platform.freeBytes[L"c:"] = needed;
    EXPECT_EQ(form.Form_Load(), ExitCode::Done);
}

TEST_F(RunBackupTest, BoxesNameTenLogsAndTheLogLineStaysShortButCountsThemAll) {
    std::vector<std::wstring> logs;
    for (int i = 0; i < 25; ++i) {
        logs.push_back(L"D:\\Becky\\acct" + std::to_wstring(i) + L"\\" + std::wstring(200, L'\u00E9') + L".bkl");
        platform.AddFile(logs.back(), L"log");
        if (i > 0) platform.copyErrors[logs.back()] = 112;
    }
    platform.onProcess = ListingAndArchiver(platform, logs);
    EXPECT_EQ(form.Form_Load(), ExitCode::NotAllStaged);
    const std::wstring text = BoxTexts().back();
    EXPECT_NE(text.find(logs[10] + L": error 112 It was not backed up.\r\n\u2026 and 14 more (see QuarnBackup.log)\r\n"), std::wstring::npos);
    EXPECT_EQ(text.find(logs[11]), std::wstring::npos);

    const std::string bytes = platform.FileBytes(platform.programFolder + L"\\QuarnBackup.log");
    const std::size_t lineEnd = bytes.find("\r\n");
    EXPECT_LT(lineEnd, 4096u);
    const std::wstring lines = RunLog();
    EXPECT_NE(lines.find(L"exit 10  full run (the archive was missing): archived 1 log (24 could not be copied) to"), std::wstring::npos);
    for (std::size_t i = 1; i < logs.size(); ++i) {
        EXPECT_NE(lines.find(L"\r\n  not copied: " + logs[i] + L": error 112 It was not backed up.\r\n"), std::wstring::npos) << i;
    }

    // A line longer than 4 KB is cut, never inside a character.
    RunSummary summary;
    summary.notCopied = {L"x"};
    const std::wstring line = RunLogLine({}, ExitCode::UnexpectedError, summary, 0, std::wstring(3000, L'\u00E9'));
    EXPECT_EQ(ToUtf8(line).size(), 3900u);
    EXPECT_EQ(line.rfind(L"0-00-00 00:00:00  exit 11  archived 0 logs (1 could not be copied) in 0.0 s  ", 0), 0u);
    EXPECT_EQ(line.back(), L'\u2026');
}

TEST_F(RunBackupTest, NothingChangedStartsNoArchiverAndTheLineSaysWhatWasDone) {
    const std::vector<std::wstring> logs{L"D:\\Becky\\a\\in.bkl", L"D:\\Becky\\b\\in.bkl"};
    for (const std::wstring& path : logs) platform.AddFile(path, L"log");
    platform.onProcess = ListingAndArchiver(platform, logs);
    EXPECT_EQ(form.Form_Load(), ExitCode::Done);
    const std::size_t started = platform.started.size();
    EXPECT_EQ(form.Form_Load(), ExitCode::Done);
    EXPECT_EQ(platform.started.size(), started + 1);  // the listing alone
    platform.AddFile(logs[1], L"log, grown");
    EXPECT_EQ(form.Form_Load(), ExitCode::Done);
    EXPECT_NE(RunLog().find(L"exit 0  full run (the archive was missing): archived 2 logs to "),
              std::wstring::npos);
    EXPECT_NE(RunLog().find(L"exit 0  nothing changed (2 logs unchanged, the archiver was not started) "
                            L"for C:\\Backups\\QuarnMail\\QuarnLogsZip.rar in "),
              std::wstring::npos);
    EXPECT_NE(RunLog().find(L"exit 0  archived 1 changed log (1 unchanged) to "), std::wstring::npos);
    EXPECT_EQ(platform.archive[L"bin.bkl"], L"log, grown");

    RunSummary summary;
    summary.archived = 12;
    summary.unchanged = 1222;
    EXPECT_NE(RunLogLine({}, ExitCode::Done, summary, 0, L"").find(L"  archived 12 changed logs (1,222 unchanged) in"),
              std::wstring::npos);
    summary.archived = 1234567;
    summary.fullRunReason = L"the archive was replaced or changed";
    EXPECT_NE(RunLogLine({}, ExitCode::Done, summary, 0, L"")
                  .find(L"  full run (the archive was replaced or changed): archived 1,234,567 logs in"),
              std::wstring::npos);
}

TEST_F(RunBackupTest, WhereNoOneCanSeeABoxNoneIsShownAndTheLogSaysIt) {
    platform.someoneWatching = false;
    SetSetting(L"ShowMessages", L"ShowMsg", L"1");
    EXPECT_EQ(form.Form_Load(), ExitCode::Done);
    platform.SetRegistryDword(L"RecvBackLog", 0);
    EXPECT_EQ(form.Form_Load(), ExitCode::OptionsOff);
    EXPECT_TRUE(platform.boxes.empty());
    EXPECT_NE(RunLog().find(L"exit 1  did nothing in 0.0 s  You have not enabled"), std::wstring::npos);
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
    platform.AddFile(L"D:\\Becky\\acct\\in.bkl", L"in");
    platform.onProcess = ListingAndArchiver(platform, {L"D:\\Becky\\acct\\in.bkl"});
    EXPECT_EQ(form.Form_Load(), ExitCode::Done);
    EXPECT_TRUE(platform.HasDirectory(L"C:\\Backups\\Mail"));
    EXPECT_EQ(platform.started[1].commandLine,
              L"\"C:\\Program Files\\WinRAR\\rar.exe\" a -r -ep -df -m5  -inul "
              L"\"C:\\Backups\\Mail\\QuarnLogsZip.rar\" *.bkl *.bks");
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

// Random nights of a mail folder kept for years, and of a second one that another
// program folder backs up into the same archive: logs grow, are rewritten, come and
// go; copies fail; runs are killed and leave copies; the names list is lost or an
// older one put back; the archive is damaged and set aside, or an older one put back.
// After every run that ends well, each of its data folder's logs has its latest
// content in the archive under its name; after every run, however it ended, no state
// a log was once archived in has left the archive, and no entry holds content that its
// log never had. QUARN_RANDOM_STEPS and QUARN_RANDOM_SEED run more by hand.
TEST_F(RunBackupTest, WhateverHappensNothingArchivedIsLostAndNoEntryHoldsAnotherLogsContent) {
    const char* stepsText = std::getenv("QUARN_RANDOM_STEPS");
    const char* seedText = std::getenv("QUARN_RANDOM_SEED");
    const int steps = stepsText ? std::atoi(stepsText) : 40;
    std::mt19937 random(seedText ? static_cast<unsigned>(std::atoi(seedText)) : 20261208U);
    const auto pick = [&](std::size_t count) {
        return std::uniform_int_distribution<std::size_t>(0, count - 1)(random);
    };
    const std::wstring archive = L"C:\\Backups\\QuarnMail\\QuarnLogsZip.rar";
    const std::wstring namesFile = archive + L".names";
    std::map<std::wstring, std::wstring> logs;                // path -> content now
    std::map<std::wstring, std::set<std::wstring>> history;   // path -> every content it had
    // path -> what the archive was found holding of it since it was last replaced
    std::map<std::wstring, std::set<std::wstring>> archived;
    int made = 0;
    const auto write = [&](const std::wstring& path, const std::wstring& content) {
        logs[path] = content;
        history[path].insert(content);
        platform.AddFile(path, content);
        platform.writeTimes[path] = {2026, 12, 7, 12, made / 60 % 60, made % 60};
        ++made;
    };
    // The second program folder backs up the first one's data folder too, or its own.
    const std::wstring programFolders[] = {platform.programFolder, L"C:\\Tools\\Second"};
    const std::wstring dataFolders[] = {L"D:\\Becky\\", L"D:\\Second\\"};
    platform.AddDirectory(programFolders[1]);
    platform.AddDirectory(L"D:\\Second");
    const auto newLog = [&] {
        const std::wstring folder = dataFolders[pick(4) == 0 ? 1 : 0] + L"acct" + std::to_wstring(pick(3)) +
                                    (pick(2) ? L"\\Inbox" : L"\\Sent.box");
        write(folder + L"\\" + (pick(2) ? L"in.bkl" : L"out.bks") + L"." + std::to_wstring(made) + L".bkl",
              L"mail " + std::to_wstring(made) + L";");
    };
    for (int i = 0; i < 4; ++i) newLog();
    std::string olderNames;
    std::pair<std::map<std::wstring, std::wstring>, std::string> olderArchive;
    std::uint32_t day = 8;

    for (int step = 0; step < steps; ++step) {
        bool killed = false;
        const std::size_t runner = pick(3) == 0 ? 1 : 0;
        const std::size_t dataFolder = runner == 0 ? 0 : pick(2);
        switch (pick(12)) {
            case 0: newLog(); break;
            case 1: {  // grows
                auto log = std::next(logs.begin(), static_cast<long>(pick(logs.size())));
                write(log->first, log->second + L"more " + std::to_wstring(made) + L";");
                break;
            }
            case 2: {  // rewritten: emptied or compacted
                auto log = std::next(logs.begin(), static_cast<long>(pick(logs.size())));
                write(log->first, L"anew " + std::to_wstring(made) + L";");
                break;
            }
            case 3:
                if (logs.size() > 1) {
                    auto log = std::next(logs.begin(), static_cast<long>(pick(logs.size())));
                    EXPECT_TRUE(platform.RemoveFile(log->first));
                    logs.erase(log);
                }
                break;
            case 4: killed = true; break;  // the archiver fails or is ended midway: copies stay
            case 10: {  // a log held open: its copy fails this night
                auto log = std::next(logs.begin(), static_cast<long>(pick(logs.size())));
                platform.copyErrors[log->first] = 32;
                break;
            }
            case 5:
                EXPECT_TRUE(platform.RemoveFile(namesFile));
                if (pick(2) == 1) {
                    EXPECT_TRUE(platform.RemoveFile(namesFile + L".bak"));
                }
                break;
            case 6:
                if (!olderNames.empty()) platform.AddFileBytes(namesFile, olderNames);
                break;
            case 7:  // damaged: its next test says so, and it is set aside with all it holds
                platform.archiverExits[L"t"] = 3;
                platform.AddFileBytes(archive, platform.FileBytes(archive) + "damage");
                break;
            case 8:
                if (!olderArchive.second.empty()) {
                    platform.archive = olderArchive.first;
                    platform.AddFileBytes(archive, olderArchive.second);
                    archived.clear();
                }
                break;
            default: {  // grows, in another log
                auto log = std::next(logs.begin(), static_cast<long>(pick(logs.size())));
                write(log->first, log->second + L"x;");
            }
        }
        if (pick(4) == 0) {
            olderNames = platform.FileBytes(namesFile);
            olderArchive = {platform.archive, platform.FileBytes(archive)};
        }
        const auto under = [&](const std::wstring& path) { return path.rfind(dataFolders[dataFolder], 0) == 0; };
        std::vector<std::wstring> listed;
        for (const auto& [path, content] : logs) {
            if (under(path)) listed.push_back(path);
        }
        if (listed.empty()) continue;  // a data folder whose logs have all gone only warns
        platform.programFolder = programFolders[runner];
        platform.SetRegistryText(L"DataDir", dataFolders[dataFolder]);
        platform.onProcess = ListingAndArchiver(platform, listed, killed ? 255 : 0);
        platform.now.day = static_cast<int>(day += pick(3) == 0 ? 1 : 0);
        const ExitCode code = form.Form_Load();
        platform.archiverExits.clear();
        platform.copyErrors.clear();
        SCOPED_TRACE("step " + std::to_string(step) + ", exit " + std::to_string(static_cast<int>(code)));
        const bool endedWell = code == ExitCode::Done || code == ExitCode::DamagedArchiveSetAside;

        std::map<std::wstring, std::wstring> owner;  // entry name -> the log it belongs to
        std::map<std::wstring, std::wstring> nameOf;  // log -> its current entry
        std::vector<std::wstring> lines;
        EachLine(std::wstring_view(platform.FileContent(namesFile)),
                 [&](std::wstring_view line) { lines.emplace_back(line); });
        for (const std::wstring& line : lines) {
            const std::size_t tab = line.find(L'\t');
            if (line.empty() || line[0] == L':' || tab == std::wstring::npos) continue;
            const std::wstring name = line.substr(0, tab);
            const std::wstring source = line.substr(tab + 1, line.find(L'\t', tab + 1) - tab - 1);
            if (source.empty()) continue;
            owner[name] = source;
            if (line.find(L"\tkept:") == std::wstring::npos) nameOf[source] = name;
        }
        for (const auto& [path, content] : logs) {
            if (!endedWell || !under(path)) continue;
            ASSERT_TRUE(nameOf.count(path)) << ToUtf8(path);
            EXPECT_EQ(platform.archive[nameOf[path]], content) << ToUtf8(path);
            archived[path].insert(content);
        }
        // No state a log was once archived in has left the archive: an entry of the log
        // holds it, or what grew of it.
        for (const auto& [archivedPath, contents] : archived) {
            const std::wstring& path = archivedPath;  // a lambda cannot capture a binding
            for (const std::wstring& content : contents) {
                EXPECT_TRUE(std::any_of(platform.archive.begin(), platform.archive.end(),
                                        [&](const auto& entry) {
                                            // A list that was lost no longer knows every
                                            // entry's log.
                                            const auto entryOwner = owner.find(entry.first);
                                            return entry.second.rfind(content, 0) == 0 &&
                                                   (entryOwner == owner.end() ||
                                                    entryOwner->second == path);
                                        }))
                    << ToUtf8(path) << " once archived as " << ToUtf8(content);
            }
        }
        for (const auto& [name, content] : platform.archive) {
            const auto found = owner.find(name);
            if (found == owner.end()) continue;  // held for a log no longer known
            EXPECT_TRUE(history[found->second].count(content))
                << ToUtf8(name) << " holds " << ToUtf8(content) << ", which " << ToUtf8(found->second)
                << " never held";
        }
    }
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
