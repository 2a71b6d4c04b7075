#include "backup/ArchiveCommand.h"

#include <gtest/gtest.h>

#include "backup/LogCollection.h"
#include "fakes/RunFixture.h"
#include "fakes/StopOf.h"

namespace quarn::testing {
namespace {

TEST(ArchiveCommandTest, ArchivePathStandsQuotedBeforeTheTwoMasks) {
    EXPECT_EQ(BuildArchiveCommand(L"D:\\Arch", L"logs.rar"),
              L"rar a -ep -df -m5  -inul \"D:\\Arch\\logs.rar\" *.bkl *.bks");
    EXPECT_EQ(BuildArchiveCommand(L"D:\\Arch\\", L"logs.rar"),
              L"rar a -ep -df -m5  -inul \"D:\\Arch\\\\logs.rar\" *.bkl *.bks");
}

TEST(ArchiveCommandTest, SettingsThatWouldBreakTheQuotingAreRefused) {
    EXPECT_NO_THROW(CheckArchiveSettings(L"D:\\Arch & Co", L"logs (1).rar"));
    for (const auto& [dir, zip, named] :
         {std::tuple{L"D:\\A\"rch", L"logs.rar", L"BackupDir"}, std::tuple{L"D:\\Arch", L"\"x", L"ZipFile"},
          std::tuple{L"D:\\Arch", L"", L"ZipFile"}}) {
        const Stop stop = StopOf([&] { CheckArchiveSettings(dir, zip); });
        EXPECT_EQ(stop.code, ExitCode::SettingInvalid) << named;
        EXPECT_NE(stop.message.find(named), std::wstring::npos);
    }
}

class ArchiveStepTest : public RunFixture {
protected:
    ArchiveStepTest() {
        platform.AddFile(L"D:\\Becky\\acct\\in.bkl", L"in");
        platform.AddFile(platform.programFolder + L"\\notes.tmp", L"mine");
        platform.AddFile(platform.programFolder + L"\\done.tmp", L"stale");
        SetSetting(L"ShowMessages", L"ShowMsg", L"1");
    }
    void Archiver(std::uint32_t exitCode) {
        platform.onProcess = ListingAndArchiver(platform, {L"D:\\Becky\\acct\\in.bkl"}, exitCode);
    }
    std::vector<std::wstring> ProgramFolderFiles() { return platform.FilesIn(platform.programFolder); }
};

TEST_F(ArchiveStepTest, SuccessCleansUpOnlyItsOwnFilesAndEndsWithTheFinalMessage) {
    Archiver(0);
    for (int run = 0; run < 2; ++run) {  // the second run finds nothing: exit code 10
        if (run == 1) platform.onProcess = ListingAndArchiver(platform, {}, 10);
        platform.boxes.clear();
        EXPECT_EQ(form.Form_Load(), ExitCode::Done);
        EXPECT_EQ(BoxTexts().back(), L"Quarn Log files Backed Up");
        EXPECT_EQ(ProgramFolderFiles(), std::vector<std::wstring>{L"notes.tmp"});
    }
}

TEST_F(ArchiveStepTest, ArchiverFailureIsReportedAndKeepsTheStagedCopies) {
    Archiver(5);
    EXPECT_EQ(form.Form_Load(), ExitCode::ArchiverFailed);
    const auto& last = platform.boxes.back();
    EXPECT_EQ(last.title, L"QuarnBackupLogs Error");
    EXPECT_NE(last.text.find(L"exit code 5 (write error)"), std::wstring::npos);
    EXPECT_NE(last.text.find(L"C:\\Backups\\QuarnMail\\QuarnLogsZip.rar"), std::wstring::npos);
    EXPECT_EQ(ProgramFolderFiles(), (std::vector<std::wstring>{L"acctin.bkl", L"notes.tmp"}));
    for (const auto& box : platform.boxes) EXPECT_NE(box.text, L"Quarn Log files Backed Up");
}

TEST_F(ArchiveStepTest, MissingArchiverSaysHowToFixItAndStillCleansUp) {
    platform.onProcess = [this](const std::wstring& commandLine) {
        if (commandLine != L"QuarnBackup.bat") return ProcessOutcome{false, 2, 0};
        return ListingAndArchiver(platform, {})(commandLine);
    };
    EXPECT_EQ(form.Form_Load(), ExitCode::ArchiverNotStarted);
    EXPECT_NE(platform.boxes.back().text.find(L"rar.exe was not found"), std::wstring::npos);
    EXPECT_NE(platform.boxes.back().text.find(L"PATH"), std::wstring::npos);
    EXPECT_EQ(ProgramFolderFiles(), std::vector<std::wstring>{L"notes.tmp"});
}

TEST_F(ArchiveStepTest, UncopiedLogsAreNamedAfterTheArchiveInsteadOfTheFinalMessage) {
    platform.lockedFiles.insert(L"D:\\Becky\\acct\\in.bkl");
    Archiver(10);
    EXPECT_EQ(form.Form_Load(), ExitCode::NotAllStaged);
    EXPECT_TRUE(HasEvent(L"run rar "));
    EXPECT_EQ(platform.boxes.back().title, L"QuarnBackupLogs Error");
    EXPECT_NE(platform.boxes.back().text.find(L"D:\\Becky\\acct\\in.bkl"), std::wstring::npos);

    Archiver(2);
    EXPECT_EQ(form.Form_Load(), ExitCode::ArchiverFailed);
    EXPECT_NE(platform.boxes.back().text.find(L"D:\\Becky\\acct\\in.bkl"), std::wstring::npos);
}

TEST_F(ArchiveStepTest, StaleMarkerThatCannotBeRemovedStopsBeforeListing) {
    platform.undeletableFiles.insert(platform.programFolder + L"\\done.tmp");
    Archiver(0);
    EXPECT_EQ(form.Form_Load(), ExitCode::WorkingFolderUnusable);
    EXPECT_FALSE(HasEvent(L"run "));
}

TEST(ArchiverExitTest, KnownCodesHaveTheirMeaning) {
    EXPECT_EQ(DescribeArchiverExit(1), L"warning: some files could not be added");
    EXPECT_EQ(DescribeArchiverExit(9), L"the archive could not be created");
    EXPECT_EQ(DescribeArchiverExit(255), L"stopped by the user");
    EXPECT_EQ(DescribeArchiverExit(42), L"unknown error");
}

}  // namespace
}  // namespace quarn::testing
