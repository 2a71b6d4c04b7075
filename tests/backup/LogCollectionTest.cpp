#include "backup/LogCollection.h"
#include "backup/StagingNames.h"

#include <gtest/gtest.h>

#include "fakes/RunFixture.h"
#include "fakes/StopOf.h"

namespace quarn::testing {
namespace {

TEST(FlattenedNameTest, FolderNameWithoutDotsThenFileName) {
    EXPECT_EQ(FlattenedName(L"D:\\Mail\\acct.one\\in.bkl"), L"acctonein.bkl");
    EXPECT_EQ(FlattenedName(L"D:\\Mail\\a.b.c\\x.y.bks"), L"abcx.y.bks");
    EXPECT_EQ(FlattenedName(L"D:\\Mail.Data\\in.bkl"), L"MailDatain.bkl");  // directly in DataDir
    EXPECT_EQ(FlattenedName(L"D:\\in.bkl"), L"D:in.bkl");
    EXPECT_EQ(FlattenedName(L"in.bkl"), std::nullopt);
    EXPECT_EQ(FlattenedName(L""), std::nullopt);
}

TEST(LogFileNameTest, OnlyTheTwoExtensionsInAnyCase) {
    EXPECT_TRUE(IsLogFileName(L"D:\\Mail\\in.bkl"));
    EXPECT_TRUE(IsLogFileName(L"D:\\Mail\\OUT.BKS"));
    EXPECT_FALSE(IsLogFileName(L"D:\\Mail\\in.bkl_old"));  // matched by "dir" through its short name
    EXPECT_FALSE(IsLogFileName(L"D:\\Mail\\inbkl"));
}

TEST(ListingBatchTest, TheBatchFileIsAsciiAndNamesTheDataFolderOnlyThroughItsEnvironment) {
    EXPECT_EQ(ListingBatchText(),
              "dir /s /b /a-d \"%QUARN_DATA_DIR%*.bkl\" \"%QUARN_DATA_DIR%*.bks\" > filelist.tmp\r\n"
              "echo done > done.tmp\r\n");
}

std::wstring NameOf(StagingNames& names, const std::wstring& source, const std::wstring& flattened) {
    return names.Entry(names.Claim(source, flattened)).name;
}

TEST(StagingNamesTest, ALogKeepsItsNameAndNamesOfGoneLogsStayReserved) {
    FakePlatform platform;
    StagingNames names(platform);
    ASSERT_TRUE(names.Load(""));
    EXPECT_EQ(NameOf(names, L"D:\\M\\a.b\\in.bkl", L"abin.bkl"), L"abin.bkl");
    EXPECT_EQ(NameOf(names, L"D:\\M\\ab\\in.bkl", L"abin.bkl"), L"abin~2.bkl");
    EXPECT_EQ(NameOf(names, L"D:\\M\\AB\\IN.BKL", L"ABIN.BKL"), L"abin~2.bkl");  // same file again
    EXPECT_EQ(NameOf(names, L"D:\\M\\c\\noext", L"cnoext"), L"cnoext");
    EXPECT_EQ(NameOf(names, L"D:\\N\\c\\noext", L"cnoext"), L"cnoext~2");
    EXPECT_TRUE(names.Changed());

    // The next run: the first account is gone and a new one sorts first.
    StagingNames next(platform);
    ASSERT_TRUE(next.Load(names.Saved()));
    EXPECT_FALSE(next.Changed());
    EXPECT_EQ(NameOf(next, L"D:\\M\\a.b.\\in.bkl", L"abin.bkl"), L"abin~3.bkl");
    EXPECT_EQ(NameOf(next, L"D:\\M\\ab\\in.bkl", L"abin.bkl"), L"abin~2.bkl");
    EXPECT_EQ(NameOf(next, L"D:\\M\\a.b\\in.bkl", L"abin.bkl"), L"abin.bkl");
    EXPECT_EQ(next.Saved(), "\xEF\xBB\xBF"
                            "abin.bkl\tD:\\M\\a.b\\in.bkl\r\nabin~2.bkl\tD:\\M\\ab\\in.bkl\r\n"
                            "cnoext\tD:\\M\\c\\noext\r\ncnoext~2\tD:\\N\\c\\noext\r\n"
                            "abin~3.bkl\tD:\\M\\a.b.\\in.bkl\r\n");
    EXPECT_TRUE(next.Changed());
}

TEST(StagingNamesTest, ADamagedNamesFileIsRefusedWhole) {
    FakePlatform platform;
    StagingNames names(platform);
    EXPECT_TRUE(names.Load("x.bkl\tD:\\M\\x.bkl\n\ny.bkl\tD:\\M\\\xC3\xA9\\y.bkl"));  // LF, blank line
    EXPECT_EQ(names.Entry(1).source, L"D:\\M\\\u00E9\\y.bkl");
    for (const char* damaged : {"x.bkl D:\\M\\x.bkl\r\n",          // no tab
                                "\tD:\\M\\x.bkl\r\n",               // no name
                                "x.bkl\t\r\n",                         // no path
                                "a\\x.bkl\tD:\\M\\x.bkl\r\n",       // a path as the name
                                "x.bkl\tD:\\a\r\nX.BKL\tD:\\b\r\n",  // one name twice
                                "x.bkl\tD:\\a\r\ny.bkl\td:\\A\r\n",  // one log twice
                                "x.bkl\tD:\\\xC3\r\n"}) {              // not UTF-8
        EXPECT_FALSE(names.Load(damaged)) << damaged;
        EXPECT_EQ(NameOf(names, L"D:\\M\\x.bkl", L"Mx.bkl"), L"Mx.bkl") << damaged;
    }
}

class CollectionTest : public RunFixture {
protected:
    CollectionTest() {
        platform.AddFile(L"D:\\Becky\\acct.one\\in.bkl", L"in one");
        platform.AddFile(L"D:\\Becky\\acct.one\\out.bks", L"out one");
        platform.AddFile(L"D:\\Becky\\a.b\\x.bkl", L"from a.b");
        platform.AddFile(L"D:\\Becky\\ab\\x.bkl", L"from ab");
        platform.currentDirectory = platform.programFolder;
    }
    void List(std::vector<std::wstring> paths) {
        platform.onProcess = ListingAndArchiver(platform, std::move(paths));
    }
    StagingResult Stage(const std::wstring& dataDir = L"D:\\Becky\\") {
        const std::wstring staging = PrepareStagingFolder(platform, platform.programFolder);
        return CollectLogFiles(platform, dataDir, 1000, platform.programFolder, staging);
    }
    std::wstring StagedPath(const std::wstring& name) const {
        return StagingFolder() + L"\\" + StagingSubfolder(name) + L"\\" + name;
    }
    std::wstring Staged(const std::wstring& name) { return platform.FileContent(StagedPath(name)); }
    std::wstring NamesFile() const { return platform.programFolder + L"\\QuarnBackup.names"; }
};

TEST_F(CollectionTest, StagesEveryListedLogUnderItsLastingName) {
    List({L"D:\\Becky\\acct.one\\in.bkl", L"", L"D:\\Becky\\acct.one\\out.bks", L"no separator",
          L"D:\\Becky\\acct.one\\in.bkl_old", L"D:\\Becky\\a.b\\x.bkl", L"D:\\Becky\\ab\\x.bkl"});
    const StagingResult first = Stage();
    EXPECT_TRUE(first.notCopied.empty());
    EXPECT_EQ(first.namesNote, L"QuarnBackup.names was missing and was made anew from this run's list");
    EXPECT_EQ(StagedCopies(),
              (std::vector<std::wstring>{L"abx.bkl", L"abx~2.bkl", L"acctonein.bkl", L"acctoneout.bks"}));
    EXPECT_EQ(Staged(L"abx~2.bkl"), L"from ab");
    EXPECT_EQ(platform.started.front().commandLine, L"cmd /d /u /v:off /c QuarnBackup.bat");
    EXPECT_EQ(platform.started.front().timeoutMs, 1000u);
    EXPECT_TRUE(HasEvent(L"copy D:\\Becky\\ab\\x.bkl -> " + StagedPath(L"abx~2.bkl") +
                         L" via C:\\Tools\\QuarnLogBackup\\QuarnStaging\\copying.tmp"));
    EXPECT_EQ(platform.FilesIn(platform.programFolder), std::vector<std::wstring>{L"QuarnBackup.names"});

    // The account with a.b is gone and a new one sorts first: ab keeps its name,
    // and the name of a.b's last backup stays its own.
    platform.AddFile(L"D:\\Becky\\a..b\\x.bkl", L"from a..b");
    List({L"D:\\Becky\\a..b\\x.bkl", L"D:\\Becky\\ab\\x.bkl"});
    EXPECT_TRUE(Stage().namesNote.empty());
    EXPECT_EQ(Staged(L"abx~3.bkl"), L"from a..b");
    EXPECT_EQ(Staged(L"abx~2.bkl"), L"from ab");
    EXPECT_EQ(Staged(L"abx.bkl"), L"from a.b");  // the earlier copy, not overwritten

    // Nothing new: the names file is not rewritten.
    platform.events.clear();
    Stage();
    EXPECT_FALSE(HasEvent(L"move C:\\Tools\\QuarnLogBackup\\QuarnBackup.names.new"));
}

TEST_F(CollectionTest, AShareIsListedByItsOwnPathsAndAPathOutsideItStopsTheRun) {
    const std::wstring share = L"\\\\server\\share\\Mail\\";
    platform.AddFile(share + L"acct\\in.bkl", L"on the share");
    platform.AddFile(share + L"acct\\out.bks", L"sent");
    List({share + L"acct\\in.bkl", L"\\\\SERVER\\share\\mail\\acct\\out.bks"});
    EXPECT_TRUE(Stage(share).notCopied.empty());
    EXPECT_EQ(Staged(L"acctin.bkl"), L"on the share");
    EXPECT_EQ(Staged(L"acctout.bks"), L"sent");
    // The folder reaches the listing alone, and the program keeps no variable of it.
    EXPECT_EQ(platform.started.front().environment.at(L"QUARN_DATA_DIR"), share);
    EXPECT_EQ(platform.EnvironmentVariable(L"QUARN_DATA_DIR"), std::nullopt);

    // A drive that a pushd mapped for the listing, or a folder beside the data folder:
    // the run stops before any name is kept or any copy made.
    for (const wchar_t* outside : {L"Z:\\acct\\new.bkl", L"\\\\server\\share\\Mail2\\new.bkl"}) {
        platform.events.clear();
        List({share + L"acct\\in.bkl", outside});
        const Stop stop = StopOf([&] { Stage(share); });
        EXPECT_EQ(stop.code, ExitCode::ListingFailed) << outside;
        EXPECT_NE(stop.message.find(outside), std::wstring::npos);
        EXPECT_NE(stop.message.find(share), std::wstring::npos);
        EXPECT_FALSE(HasEvent(L"copy "));
        EXPECT_EQ(platform.FileContent(NamesFile()).find(L"new.bkl"), std::wstring::npos);
    }
}

TEST_F(CollectionTest, ADamagedNamesFileIsKeptAsideAndMadeAnew) {
    platform.AddFileBytes(NamesFile(), "abx.bkl D:\\Becky\\ab\\x.bkl\r\n");
    List({L"D:\\Becky\\ab\\x.bkl"});
    EXPECT_NE(Stage().namesNote.find(L"was damaged"), std::wstring::npos);
    EXPECT_EQ(platform.FileBytes(NamesFile() + L".damaged"), "abx.bkl D:\\Becky\\ab\\x.bkl\r\n");
    EXPECT_EQ(platform.FileContent(NamesFile()), L"abx.bkl\tD:\\Becky\\ab\\x.bkl\r\n");
}

TEST_F(CollectionTest, NamesThatCannotBeKeptStopBeforeAnyCopy) {
    platform.unwritableFiles.insert(NamesFile());
    List({L"D:\\Becky\\ab\\x.bkl"});
    const Stop stop = StopOf([&] { Stage(); });
    EXPECT_EQ(stop.code, ExitCode::WorkingFolderUnusable);
    EXPECT_NE(stop.message.find(NamesFile()), std::wstring::npos);
    EXPECT_FALSE(HasEvent(L"copy "));
    EXPECT_FALSE(platform.HasFile(NamesFile() + L".new"));
}

TEST_F(CollectionTest, AHalfMadeCopyIsDroppedAndWholeCopiesWaitForTheArchiver) {
    platform.AddFile(StagingFolder() + L"\\copying.tmp", L"half");
    platform.AddFile(StagedPath(L"oldx.bkl"), L"whole copy of a failed run");
    List({});
    Stage();
    EXPECT_EQ(StagedCopies(), std::vector<std::wstring>{L"oldx.bkl"});
    EXPECT_EQ(CopiesIn(platform, StagingFolder()), 1u);
}

TEST_F(CollectionTest, AFileThatCannotBeCopiedIsReportedWithItsReasonAndTheRestGoOn) {
    platform.copyErrors[L"D:\\Becky\\acct.one\\in.bkl"] = 32;
    List({L"D:\\Becky\\acct.one\\in.bkl", L"D:\\Becky\\gone\\old.bkl",
          L"D:\\Becky\\acct.one\\out.bks"});
    const StagingResult result = Stage();
    ASSERT_EQ(result.notCopied.size(), 2u);
    EXPECT_EQ(result.notCopied[0].path, L"D:\\Becky\\acct.one\\in.bkl");
    EXPECT_EQ(result.notCopied[0].reason, L"error 32");
    EXPECT_EQ(result.notCopied[1].reason, L"error 2");
    EXPECT_EQ(Staged(L"acctoneout.bks"), L"out one");
}

class ListingFailureTest : public CollectionTest {
protected:
    static void Ignore(const std::wstring&) {}
    ExitCode Collect() {
        const Stop stop = StopOf([&] { ListLogFiles(platform, L"D:\\Becky\\", 1800000, Ignore); });
        message = stop.message;
        return stop.code;
    }
    std::wstring message;
};

TEST_F(ListingFailureTest, EachWayTheListingCanFailStopsTheRun) {
    platform.onProcess = [](const std::wstring&) { return ProcessOutcome{false, 2, false, 0}; };
    EXPECT_EQ(Collect(), ExitCode::ListingFailed);
    EXPECT_NE(message.find(L"could not be started"), std::wstring::npos);

    platform.onProcess = [](const std::wstring&) { return ProcessOutcome{true, 0, false, 1}; };
    EXPECT_EQ(Collect(), ExitCode::ListingFailed);  // ended without its marker
    EXPECT_NE(message.find(L"without finishing"), std::wstring::npos);

    platform.onProcess = [this](const std::wstring&) {
        platform.AddFile(L"done.tmp", L"done");
        return ProcessOutcome{true, 0, false, 0};
    };
    EXPECT_EQ(Collect(), ExitCode::ListingFailed);  // marker but no list: dir could not start
    EXPECT_NE(message.find(L"D:\\Becky\\"), std::wstring::npos);

    platform.onProcess = [](const std::wstring&) { return ProcessOutcome{true, 0, true, 0}; };
    EXPECT_EQ(Collect(), ExitCode::WaitTimedOut);
    EXPECT_NE(message.find(L"did not end within 30 minutes"), std::wstring::npos);
    EXPECT_TRUE(platform.FilesIn(platform.programFolder).empty());  // its files are gone
}

TEST_F(ListingFailureTest, UnwritableWorkingFolderStops) {
    platform.currentDirectory = L"C:\\Missing";
    EXPECT_EQ(Collect(), ExitCode::WorkingFolderUnusable);
    EXPECT_NE(message.find(L"C:\\Missing"), std::wstring::npos);
}

}  // namespace
}  // namespace quarn::testing
