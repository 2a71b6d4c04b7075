#include "archive/ArchiveCommand.h"

#include <gtest/gtest.h>

#include "archive/DamagedArchive.h"
#include "common/TextEncoding.h"
#include "fakes/Rar5Writer.h"
#include "fakes/RunFixture.h"
#include "fakes/StopOf.h"
#include "run/Night.h"
#include "staging/LogListing.h"

namespace quarn::testing {
namespace {

TEST(ArchiveCommandTest, ArchivePathStandsQuotedBeforeTheTwoMasksWithItsRealName) {
    EXPECT_EQ(BuildArchiveCommand(ArchivePath(L"D:\\Arch", L"logs.rar")),
              L"a -r -ep -df -m5  -inul \"D:\\Arch\\logs.rar\" *.bkl *.bks");
    EXPECT_EQ(BuildArchiveCommand(ArchivePath(L"D:\\Arch\\", L"logs.rar")),
              L"a -r -ep -df -m5  -inul \"D:\\Arch\\\\logs.rar\" *.bkl *.bks");
    // The archiver names an archive without an extension "<name>.rar", and so does the run.
    EXPECT_EQ(ArchivePath(L"D:\\Arch", L"QuarnLogs"), L"D:\\Arch\\QuarnLogs.rar");
    EXPECT_EQ(ArchivePath(L"D:\\Arch", L"QuarnLogs.v2"), L"D:\\Arch\\QuarnLogs.v2");
}

class ArchiveStepTest : public RunFixture {
protected:
    ArchiveStepTest() {
        platform.AddFile(L"D:\\Becky\\acct\\in.bkl", L"in");
        platform.AddFile(platform.programFolder + L"\\notes.tmp", L"mine");
        platform.AddFile(platform.programFolder + L"\\in.bkl", L"the user's own log");
        platform.AddFile(platform.programFolder + L"\\done.tmp", L"stale");
        SetSetting(L"ShowMessages", L"ShowMsg", L"1");
    }
    void Archiver(std::uint32_t exitCode) {
        platform.onProcess = ListingAndArchiver(platform, {L"D:\\Becky\\acct\\in.bkl"}, exitCode);
    }
    // An archiver that answers with the given outcome and leaves the copies alone.
    void ArchiverAnswering(Result<ProcessEnd> outcome) {
        platform.onProcess = [this, outcome](const std::wstring& commandLine) {
            if (commandLine == ListingCommand(platform.systemFolder)) {
                return ListingAndArchiver(platform, {L"D:\\Becky\\acct\\in.bkl"})(commandLine);
            }
            return outcome;
        };
    }
    std::vector<std::wstring> ProgramFolderFiles() { return platform.FilesIn(platform.programFolder); }
    const std::vector<std::wstring> kOwnFilesAndTheUsers{L"QuarnBackup.ini", L"QuarnBackup.log",
                                                         L"in.bkl", L"notes.tmp"};
};

TEST_F(ArchiveStepTest, TheArchiverWorksInTheStagingFolderAndTouchesNothingElse) {
    Archiver(0);
    for (int run = 0; run < 2; ++run) {  // the second run finds nothing: no archiver
        if (run == 1) {
            platform.onProcess = ListingAndArchiver(platform, {}, 10);
            // A fresh archive, so that no log is known yet and none can have vanished.
            for (const wchar_t* file : {L"", L".names", L".names.bak"}) {
                EXPECT_TRUE(platform.RemoveFile(L"C:\\Backups\\QuarnMail\\QuarnLogsZip.rar" + std::wstring(file)));
            }
        }
        platform.boxes.clear();
        EXPECT_EQ(form.Form_Load(), ExitCode::Done);
        EXPECT_EQ(BoxTexts().back(), L"Quarn Log files Backed Up");
        EXPECT_EQ(BoxTexts().end()[-2], L"Current Directory : " + StagingFolder());
        // The archiver adds in the staging folder; everything else runs in the program's.
        for (const auto& process : platform.started) {
            const bool adds = process.commandLine.find(L"rar.exe\" a ") != std::wstring::npos;
            EXPECT_EQ(process.workingFolder, adds ? StagingFolder() : platform.programFolder)
                << process.commandLine;
        }
        platform.started.clear();
        EXPECT_EQ(ProgramFolderFiles(), kOwnFilesAndTheUsers);
        EXPECT_EQ(platform.FileContent(platform.programFolder + L"\\in.bkl"), L"the user's own log");
        EXPECT_TRUE(StagedCopies().empty());
    }
}

TEST_F(ArchiveStepTest, ArchiverFailureIsReportedAndKeepsTheStagedCopies) {
    Archiver(5);
    EXPECT_EQ(form.Form_Load(), ExitCode::ArchiverFailed);
    const auto& last = platform.boxes.back();
    EXPECT_EQ(last.title, L"QuarnBackupLogs Error");
    EXPECT_NE(last.text.find(L"exit code 5 (write error)"), std::wstring::npos);
    EXPECT_NE(last.text.find(L"C:\\Backups\\QuarnMail\\QuarnLogsZip.rar"), std::wstring::npos);
    EXPECT_NE(last.text.find(StagingFolder()), std::wstring::npos);
    EXPECT_EQ(StagedCopies(), std::vector<std::wstring>{L"acctin.bkl"});
    for (const auto& box : platform.boxes) EXPECT_NE(box.text, L"Quarn Log files Backed Up");
}

TEST_F(ArchiveStepTest, ADamagedArchiveIsSetAsideWithItsNamesAndANewOneIsMadeWithEveryLog) {
    Archiver(0);
    ASSERT_EQ(form.Form_Load(), ExitCode::Done);
    const std::wstring archive = L"C:\\Backups\\QuarnMail\\QuarnLogsZip.rar";

    // The log grows; the archiver then finds a checksum error in the archive, once: first
    // where the archive's headers read whole (the archiver's own failure, which sets
    // nothing aside), then where the header of its last entry is broken. Beside the log's
    // entry it holds a version kept earlier and the last backup of a log that has gone.
    platform.archive[L"acctin.2026-12-01.bkl"] = L"in, as it was";
    platform.archive[L"goneout.bks"] = L"gone";
    std::vector<std::pair<std::wstring, std::string>> entries;
    for (const auto& [name, content] : platform.archive) entries.emplace_back(name, ToUtf8(content));
    platform.AddFileBytes(archive, Rar5Archive(entries));
    platform.AddFile(L"D:\\Becky\\acct\\in.bkl", L"in, grown");
    const auto archiver = ListingAndArchiver(platform, {L"D:\\Becky\\acct\\in.bkl"});
    int checksumErrors = 0;
    bool breakHeader = false;
    platform.onProcess = [&](const std::wstring& commandLine) {
        if (commandLine.find(L"rar.exe\" a ") != std::wstring::npos && checksumErrors < 2) {
            ++checksumErrors;
            if (breakHeader) {
                std::string bytes = platform.FileBytes(archive);
                bytes[bytes.find("goneout.bks")] ^= 0x20;
                platform.AddFileBytes(archive, bytes);
                platform.archive.clear();  // what the new archive is made of
            }
            return Result<ProcessEnd>(ProcessEnd{false, 3});
        }
        return archiver(commandLine);
    };
    platform.now.day = 8;
    EXPECT_EQ(form.Form_Load(), ExitCode::ArchiverFailed);
    EXPECT_NE(platform.boxes.back().text.find(L"exit code 3"), std::wstring::npos);
    EXPECT_FALSE(platform.HasFile(L"C:\\Backups\\QuarnMail\\QuarnLogsZip.damaged-20261208.rar"));
    breakHeader = true;
    EXPECT_EQ(form.Form_Load(), ExitCode::DamagedArchiveSetAside);
    const std::wstring aside = L"C:\\Backups\\QuarnMail\\QuarnLogsZip.damaged-20261208.rar";
    const std::wstring& text = platform.boxes.back().text;
    EXPECT_EQ(text.rfind(L"The archive " + archive + L" was damaged: it ", 0), 0u) << text;
    EXPECT_NE(text.find(L"It was set aside as " + aside), std::wstring::npos);
    EXPECT_NE(text.find(L"\"rar r " + aside + L"\""), std::wstring::npos);
    EXPECT_TRUE(platform.HasFile(aside));
    EXPECT_TRUE(platform.HasFile(aside + L".names"));
    // What only the damaged archive held and still yields whole is carried over; what it
    // no longer yields is named, and the new list names only what the new archive holds.
    EXPECT_EQ(platform.archive, (std::map<std::wstring, std::wstring>{
                                    {L"acctin.2026-12-01.bkl", L"in, as it was"},
                                    {L"acctin.bkl", L"in, grown"}}));
    EXPECT_NE(text.find(L"and 1 entry that only the damaged archive held"), std::wstring::npos) << text;
    EXPECT_NE(text.find(L"no longer yields 1 entry whole:\r\ngoneout.bks"), std::wstring::npos) << text;
    EXPECT_NE(platform.FileContent(aside + L".names").find(L"goneout.bks"), std::wstring::npos);
    EXPECT_EQ(platform.FileContent(L"C:\\Backups\\QuarnMail\\QuarnLogsZip.rar.names").find(L"goneout.bks"),
              std::wstring::npos);
    EXPECT_NE(RunLog().find(L"exit 16  full run (the archive was damaged and set aside): archived 1 log"),
              std::wstring::npos);
    EXPECT_EQ(platform.eventLog.back().id, 116u);
    EXPECT_EQ(platform.eventLog.back().kind, EventKind::Error);

    // The next run ends well, and never touches the archive set aside.
    EXPECT_EQ(form.Form_Load(), ExitCode::Done);
    EXPECT_TRUE(platform.HasFile(aside));
    EXPECT_NE(RunLog().find(L"exit 0  nothing changed (1 log unchanged"), std::wstring::npos);
}

TEST_F(ArchiveStepTest, SettingADamagedArchiveAsideIsBoundedAndNeverReplacesAFile) {
    FakePlatform& fake = platform;
    fake.AddDirectory(L"C:\\B");
    fake.AddFile(L"C:\\B\\x.rar", L"damaged");
    // A name that cannot be looked at stops at once: no loop, no rename.
    fake.failCall = [](const std::wstring& call, const std::wstring& argument) -> std::uint32_t {
        return call == L"StampOf" && argument.find(L".damaged-") != std::wstring::npos ? 64 : 0;
    };
    const Stop stop = StopOf([&] { SetAsideDamagedArchive(fake, L"C:\\B\\x.rar", L"C:\\B\\x.rar.names", 20795); });
    EXPECT_EQ(stop.code, ExitCode::ArchiverFailed);
    EXPECT_NE(stop.message.find(L"error 64"), std::wstring::npos);
    EXPECT_EQ(fake.FileContent(L"C:\\B\\x.rar"), L"damaged");
    // Taken names are passed over; a day's names run out rather than loop for ever.
    fake.failCall = nullptr;
    fake.AddFile(DamagedArchivePath(L"C:\\B\\x.rar", 20795, 1), L"earlier");
    EXPECT_EQ(SetAsideDamagedArchive(fake, L"C:\\B\\x.rar", L"C:\\B\\x.rar.names", 20795),
              DamagedArchivePath(L"C:\\B\\x.rar", 20795, 2));
    for (int counter = 1; counter <= 99; ++counter) {
        fake.AddFile(DamagedArchivePath(L"C:\\B\\x.rar", 20795, counter), L"earlier");
    }
    fake.AddFile(L"C:\\B\\x.rar", L"damaged");
    EXPECT_EQ(StopOf([&] { SetAsideDamagedArchive(fake, L"C:\\B\\x.rar", L"C:\\B\\x.rar.names", 20795); }).code,
              ExitCode::ArchiverFailed);
    EXPECT_EQ(fake.FileContent(L"C:\\B\\x.rar"), L"damaged");
    // A name at the longest a file name may be is shortened so that its list fits beside it.
    const std::wstring longName = L"C:\\B\\" + std::wstring(251, L'n') + L".rar";
    const std::wstring aside = DamagedArchivePath(longName, 20795, 12);
    EXPECT_EQ(aside.size() - 5 + std::wstring(L".names").size(), 255u);
    EXPECT_NE(aside.find(L"n.damaged-20261208-12.rar"), std::wstring::npos);
}

TEST_F(ArchiveStepTest, SuccessIsCheckedAgainstTheCopiesLeftBehind) {
    ArchiverAnswering(ProcessEnd{});
    EXPECT_EQ(form.Form_Load(), ExitCode::ArchiverFailed);
    EXPECT_NE(platform.boxes.back().text.find(L"reported success, but 1 of the copies"),
              std::wstring::npos);
    EXPECT_NE(platform.boxes.back().text.find(L"the next run tries again"), std::wstring::npos);
    EXPECT_EQ(StagedCopies(), std::vector<std::wstring>{L"acctin.bkl"});
    EXPECT_NE(RunLog().find(L"exit 9  full run (the archive was missing): archived 0 logs (1 log not "
                            L"archived) to"),
              std::wstring::npos);
}

TEST_F(ArchiveStepTest, CopiesThatCannotBeCountedAfterTheArchiverAreNeverTakenForArchived) {
    Archiver(0);
    // The staging folder lists well until the archiver has run; then a subfolder fails.
    platform.failCall = [this](const std::wstring& call, const std::wstring& path) {
        const bool archiverRan = platform.started.size() == 2;
        return call == L"FolderEntries" && archiverRan && path != StagingFolder() ? 21U : 0U;
    };
    EXPECT_EQ(form.Form_Load(), ExitCode::WorkingFolderUnusable);
    EXPECT_NE(platform.boxes.back().text.find(L"cannot be listed: error 21 Whether the archiver took "
                                              L"the copies cannot be told"),
              std::wstring::npos);
    const std::wstring names = L"C:\\Backups\\QuarnMail\\QuarnLogsZip.rar.names";
    EXPECT_NE(platform.FileContent(names).find(L"acctin.bkl\tD:\\Becky\\acct\\in.bkl\r\n"),
              std::wstring::npos);  // the name is kept, but no record of an archived state

    platform.failCall = nullptr;
    EXPECT_EQ(form.Form_Load(), ExitCode::Done);
    EXPECT_NE(RunLog().find(L"exit 0  full run (no records of what the archive holds): archived 1 log "),
              std::wstring::npos);
}

TEST_F(ArchiveStepTest, AnArchiverOlderThanTheOldestSupportedIsNamedNeverTakenForDamage) {
    // It cannot read the archive a newer one made: its test fails, which would look
    // like damage.
    Archiver(0);
    ASSERT_EQ(form.Form_Load(), ExitCode::Done);
    platform.AddFile(L"D:\\Becky\\acct\\in.bkl", L"in, grown");
    platform.AddFileBytes(L"C:\\Backups\\QuarnMail\\QuarnLogsZip.rar.names", "");  // a full run, which tests
    platform.archiverExits[L"t"] = 3;
    platform.archiverVersion = L"4.20";
    EXPECT_EQ(form.Form_Load(), ExitCode::ArchiverNotStarted);
    EXPECT_NE(platform.boxes.back().text.find(L"is version 4.20, and this program needs version 5.00 or later"),
              std::wstring::npos) << ToUtf8(platform.boxes.back().text);
    EXPECT_FALSE(platform.HasFile(L"C:\\Backups\\QuarnMail\\QuarnLogsZip.damaged-20261207.rar"));
    // A version it can work with leaves the failure as the archiver reported it.
    platform.archiverVersion = L"5.00";
    EXPECT_EQ(form.Form_Load(), ExitCode::DamagedArchiveSetAside);
}

TEST_F(ArchiveStepTest, AnArchiverThatDoesNotEndInTimeIsEndedAndTheCopiesWait) {
    // Each bound is shortened on its own; neither can be made longer.
    platform.environment[kArchiverLimitVariable] = L"90";
    platform.environment[kListingLimitVariable] = L"99999";
    // What it started and left running is named in the run log.
    ArchiverAnswering(ProcessEnd{true, 0, {}, 2, Failed{5}});
    EXPECT_EQ(form.Form_Load(), ExitCode::WaitTimedOut);
    EXPECT_NE(RunLog().find(L"2 processes that the RAR archiver started were still running after "
                            L"it was ended (error 5)"),
              std::wstring::npos);
    EXPECT_EQ(platform.started.front().timeoutMs, 30u * 60 * 1000);
    EXPECT_EQ(platform.started.back().timeoutMs, 90000u);
    EXPECT_NE(platform.boxes.back().text.find(L"did not end within 90 seconds"), std::wstring::npos);
    EXPECT_EQ(StagedCopies(), std::vector<std::wstring>{L"acctin.bkl"});

    // An archiver whose end cannot be awaited was stopped: a failure, never success.
    platform.environment.erase(kArchiverLimitVariable);
    platform.environment.erase(kListingLimitVariable);
    ArchiverAnswering(ProcessEnd{false, 0, Failed{6}});
    EXPECT_EQ(form.Form_Load(), ExitCode::ArchiverFailed);
    EXPECT_NE(platform.boxes.back().text.find(L"could not be awaited (error 6)"),
              std::wstring::npos);
    EXPECT_EQ(platform.started.back().timeoutMs, 4u * 60 * 60 * 1000);
}

TEST_F(ArchiveStepTest, MissingArchiverSaysHowToFixItAndStillCleansUp) {
    // Found neither beside the program nor on PATH: never looked for in a current folder.
    Archiver(0);
    ASSERT_TRUE(platform.RemoveFile(L"C:\\Program Files\\WinRAR\\rar.exe"));
    platform.environment[L"PATH"] = L".;C:\\Windows\\system32;;\"C:\\Program Files\\WinRAR\"";
    EXPECT_EQ(form.Form_Load(), ExitCode::ArchiverNotStarted);
    EXPECT_NE(platform.boxes.back().text.find(L"rar.exe was found neither beside this program nor on PATH"),
              std::wstring::npos);
    EXPECT_EQ(ProgramFolderFiles(), kOwnFilesAndTheUsers);

    // Beside the program it comes first, by its full path, also from a quoted PATH entry.
    platform.AddFile(L"C:\\Program Files\\WinRAR\\rar.exe", L"");
    platform.AddFile(platform.programFolder + L"\\rar.exe", L"");
    ArchiverAnswering(Failed{5});
    EXPECT_EQ(form.Form_Load(), ExitCode::ArchiverNotStarted);
    EXPECT_NE(platform.boxes.back().text.find(L"rar.exe (" + platform.programFolder +
                                              L"\\rar.exe) could not be started: error 5"),
              std::wstring::npos);
    ASSERT_TRUE(platform.RemoveFile(platform.programFolder + L"\\rar.exe"));
    EXPECT_EQ(form.Form_Load(), ExitCode::ArchiverNotStarted);
    EXPECT_NE(platform.boxes.back().text.find(L"(C:\\Program Files\\WinRAR\\rar.exe) could not be started"),
              std::wstring::npos);
}

TEST_F(ArchiveStepTest, UncopiedLogsAreNamedWithTheSystemsReason) {
    platform.copyErrors[L"D:\\Becky\\acct\\in.bkl"] = 32;
    Archiver(10);
    EXPECT_EQ(form.Form_Load(), ExitCode::NotAllStaged);
    EXPECT_FALSE(HasEvent(L"run rar "));  // nothing to archive
    EXPECT_EQ(platform.boxes.back().title, L"QuarnBackupLogs Error");
    EXPECT_NE(platform.boxes.back().text.find(L"D:\\Becky\\acct\\in.bkl: error 32"), std::wstring::npos);
    EXPECT_NE(RunLog().find(L"exit 10  full run (the archive was missing): archived 0 logs (1 could "
                            L"not be copied)"),
              std::wstring::npos);

    platform.AddFile(StagingFolder() + L"\\00\\left.bkl", L"left by a failed run");
    Archiver(2);
    EXPECT_EQ(form.Form_Load(), ExitCode::ArchiverFailed);
    EXPECT_NE(platform.boxes.back().text.find(L"D:\\Becky\\acct\\in.bkl: error 32"), std::wstring::npos);
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
