#include "backup/LogCollection.h"

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

TEST(ListingBatchTest, PathsAreQuotedWithPercentDoubled) {
    EXPECT_EQ(QuotedForBatch(L"D:\\100% Mail & (old) ^!\\"), L"\"D:\\100%% Mail & (old) ^!\\\"");
    EXPECT_EQ(ListingBatchLines(L"D:\\Mail %TEMP%\\", L"C:\\Tools"),
              (std::vector<std::wstring>{
                  L"pushd \"D:\\Mail %%TEMP%%\\\" && cmd /d /u /c dir /s /b *.bkl *.bks > "
                  L"\"C:\\Tools\\filelist.tmp\" & popd",
                  L"echo done > done.tmp"}));
}

TEST(StagingNamesTest, CollisionsGetACounterAndStayStable) {
    FakePlatform platform;
    StagingNames names(platform);
    EXPECT_EQ(names.Claim(L"D:\\M\\a.b\\in.bkl", L"abin.bkl"), L"abin.bkl");
    EXPECT_EQ(names.Claim(L"D:\\M\\ab\\in.bkl", L"abin.bkl"), L"abin~2.bkl");
    EXPECT_EQ(names.Claim(L"D:\\M\\AB\\IN.BKL", L"ABIN.BKL"), L"abin~2.bkl");  // same file again
    EXPECT_EQ(names.Claim(L"D:\\N\\a.b\\in.bkl", L"ABIN.bkl"), L"ABIN~3.bkl");
    EXPECT_EQ(names.Claim(L"D:\\M\\c\\noext", L"cnoext"), L"cnoext");
    EXPECT_EQ(names.Claim(L"D:\\N\\c\\noext", L"cnoext"), L"cnoext~2");
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
    std::wstring Staged(const std::wstring& name) {
        return platform.FileContent(platform.programFolder + L"\\" + name);
    }
};

TEST_F(CollectionTest, StagesEveryListedLogUnderItsFlattenedName) {
    List({L"D:\\Becky\\acct.one\\in.bkl", L"", L"D:\\Becky\\acct.one\\out.bks", L"no separator",
          L"D:\\Becky\\a.b\\x.bkl", L"D:\\Becky\\ab\\x.bkl"});
    EXPECT_TRUE(CollectLogFiles(platform, L"D:\\Becky\\").empty());
    EXPECT_EQ(Staged(L"acctonein.bkl"), L"in one");
    EXPECT_EQ(Staged(L"acctoneout.bks"), L"out one");
    EXPECT_EQ(Staged(L"abx.bkl"), L"from a.b");
    EXPECT_EQ(Staged(L"abx~2.bkl"), L"from ab");
    EXPECT_EQ(platform.commandLines.front(), L"QuarnBackup.bat");
    EXPECT_EQ(platform.FileContent(L"QuarnBackup.bat"),
              L"pushd \"D:\\Becky\\\" && cmd /d /u /c dir /s /b *.bkl *.bks > "
              L"\"C:\\Tools\\QuarnLogBackup\\filelist.tmp\" & popd\r\necho done > done.tmp\r\n");
}

TEST_F(CollectionTest, DriveRootWorkingFolderDoublesTheSeparator) {
    platform.currentDirectory = L"C:\\";
    List({L"D:\\Becky\\acct.one\\in.bkl"});
    CollectLogFiles(platform, L"D:\\Becky\\");
    EXPECT_TRUE(HasEvent(L"copy D:\\Becky\\acct.one\\in.bkl -> C:\\\\acctonein.bkl"));
}

TEST_F(CollectionTest, AFileThatCannotBeCopiedIsReportedAndTheRestGoOn) {
    platform.lockedFiles.insert(L"D:\\Becky\\acct.one\\in.bkl");
    List({L"D:\\Becky\\acct.one\\in.bkl", L"D:\\Becky\\gone\\old.bkl",
          L"D:\\Becky\\acct.one\\out.bks"});
    EXPECT_EQ(CollectLogFiles(platform, L"D:\\Becky\\"),
              (std::vector<std::wstring>{L"D:\\Becky\\acct.one\\in.bkl", L"D:\\Becky\\gone\\old.bkl"}));
    EXPECT_EQ(Staged(L"acctoneout.bks"), L"out one");
}

class ListingFailureTest : public CollectionTest {
protected:
    ExitCode Collect() {
        const Stop stop = StopOf([&] { CollectLogFiles(platform, L"D:\\Becky\\"); });
        message = stop.message;
        return stop.code;
    }
    std::wstring message;
};

TEST_F(ListingFailureTest, EachWayTheListingCanFailStopsTheRun) {
    platform.onProcess = [](const std::wstring&) { return ProcessOutcome{false, 2, 0}; };
    EXPECT_EQ(Collect(), ExitCode::ListingFailed);
    EXPECT_NE(message.find(L"could not be started"), std::wstring::npos);

    platform.onProcess = [](const std::wstring&) { return ProcessOutcome{true, 0, 1}; };
    EXPECT_EQ(Collect(), ExitCode::ListingFailed);  // ended without its marker
    EXPECT_NE(message.find(L"without finishing"), std::wstring::npos);

    platform.onProcess = [this](const std::wstring&) {
        platform.AddFile(L"done.tmp", L"done");
        return ProcessOutcome{true, 0, 0};
    };
    EXPECT_EQ(Collect(), ExitCode::ListingFailed);  // marker but no list: pushd failed
    EXPECT_NE(message.find(L"D:\\Becky\\"), std::wstring::npos);
}

TEST_F(ListingFailureTest, PathsTheInterpreterCannotReadStopBeforeAnythingRuns) {
    platform.oemIsAscii = true;
    EXPECT_EQ(Collect(), ExitCode::Done);  // an ASCII data folder is still fine
    platform.commandLines.clear();
    const Stop stop = StopOf([&] { CollectLogFiles(platform, L"D:\\Bécky\\"); });
    EXPECT_EQ(stop.code, ExitCode::ListingFailed);
    EXPECT_NE(stop.message.find(L"D:\\Bécky\\"), std::wstring::npos);
    EXPECT_TRUE(platform.commandLines.empty());
}

TEST_F(ListingFailureTest, UnwritableWorkingFolderStops) {
    platform.currentDirectory = L"C:\\Missing";
    EXPECT_EQ(Collect(), ExitCode::WorkingFolderUnusable);
    EXPECT_NE(message.find(L"C:\\Missing"), std::wstring::npos);
}

}  // namespace
}  // namespace quarn::testing
