#include "archive/ArchiveCommand.h"
#include "names/StagedName.h"
#include "names/StagingNames.h"
#include "run/Night.h"
#include "staging/LogListing.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "common/TextEncoding.h"
#include "fakes/Rar5Writer.h"
#include "fakes/RunFixture.h"
#include "fakes/StopOf.h"

namespace quarn::testing {
namespace {

TEST(FlattenedNameTest, FolderNameWithoutDotsThenFileNameAsAFitFileName) {
    EXPECT_EQ(FlattenedName(L"D:\\Mail\\acct.one\\in.bkl"), L"acctonein.bkl");
    EXPECT_EQ(FlattenedName(L"D:\\Mail\\a.b.c\\x.y.bks"), L"abcx.y.bks");
    EXPECT_EQ(FlattenedName(L"D:\\Mail.Data\\in.bkl"), L"MailDatain.bkl");  // directly in DataDir
    EXPECT_EQ(FlattenedName(L"M:\\stray.bkl"), L"stray.bkl");  // DataDir is a drive's root
    EXPECT_EQ(FlattenedName(L"\\\\?\\D:\\in.bkl"), L"in.bkl");
    EXPECT_EQ(FlattenedName(L"D:\\c.o\\n.bkl"), L"con_.bkl");  // not the console device
    EXPECT_EQ(FlattenedName(L"D:\\con\\in$.bks"), L"conin$_.bks");
    EXPECT_EQ(FlattenedName(L"D:\\co\\m0.bkl"), L"com0_.bkl");
    EXPECT_EQ(FlattenedName(L"M:\\LPT\u00B9.x.bkl"), L"LPT\u00B9_.x.bkl");
    EXPECT_EQ(FlattenedName(L"in.bkl"), std::nullopt);
    EXPECT_EQ(FlattenedName(L""), std::nullopt);

    // 200 + 100 characters: shortened, keeping the extension and whole characters.
    const std::wstring folder(200, L'f');
    const std::wstring file = std::wstring(98, L'n') + L"\xD83D\xDE00.bkl";
    const std::wstring name = *FlattenedName(L"D:\\" + folder + L"\\" + file);
    EXPECT_EQ(name, folder + std::wstring(kLongestMadeName - 204, L'n') + L".bkl");
    EXPECT_TRUE(IsFitStagedName(WithCounter(name, 1234567)));
    const std::wstring cut = *FlattenedName(L"D:\\" + std::wstring(242, L'f') + L"\\\xD83D\xDE00x.bks");
    EXPECT_EQ(cut, std::wstring(242, L'f') + L".bks");  // no half of the pair is kept
}

TEST(FlattenedNameTest, OnlyWholeFileNamesOfLogsAreFit) {
    for (const wchar_t* fit : {L"in.bkl", L"IN.BKS", L"a b.bkl", L"x~2.bkl"}) {
        EXPECT_TRUE(IsFitStagedName(fit)) << fit;
    }
    for (const wchar_t* unfit : {L"", L"in", L"in.bkl ", L"in.bkl.", L"a:b.bkl", L"a\\b.bkl",
                                 L"a?.bkl", L"nul.bkl", L"COM1.x.bks", L"lpt0.bkl", L"COM\u00B3.bks",
                                 L"CONOUT$ .bkl", L"a\tb.bkl"}) {
        EXPECT_FALSE(IsFitStagedName(unfit)) << unfit;
    }
    EXPECT_FALSE(IsFitStagedName(std::wstring(252, L'n') + L".bkl"));
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
    EXPECT_EQ(NameOf(names, L"D:\\M\\a.b\\in.bkl", L"abin.bkl"), L"abin.bkl");
    EXPECT_EQ(NameOf(names, L"D:\\M\\ab\\in.bkl", L"abin.bkl"), L"abin~2.bkl");
    EXPECT_EQ(NameOf(names, L"D:\\M\\AB\\IN.BKL", L"ABIN.BKL"), L"abin~2.bkl");  // same file again
    EXPECT_TRUE(names.Reserve(L"cx.bks"));  // held by an archive entry of an unknown log
    EXPECT_FALSE(names.Reserve(L"CX.BKS"));
    EXPECT_EQ(NameOf(names, L"D:\\M\\c\\x.bks", L"cx.bks"), L"cx~2.bks");
    EXPECT_TRUE(names.Changed());

    // The next run: the first account is gone and a new one sorts first.
    StagingNames next(platform);
    EXPECT_TRUE(next.Add(names.Saved()).refused.empty());
    EXPECT_FALSE(next.Changed());
    EXPECT_TRUE(next.Holds(L"CX.bks"));
    EXPECT_EQ(NameOf(next, L"D:\\M\\a.b.\\in.bkl", L"abin.bkl"), L"abin~3.bkl");
    EXPECT_EQ(NameOf(next, L"D:\\M\\ab\\in.bkl", L"abin.bkl"), L"abin~2.bkl");
    EXPECT_EQ(NameOf(next, L"D:\\M\\a.b\\in.bkl", L"abin.bkl"), L"abin.bkl");
    EXPECT_EQ(next.Saved(), "\xEF\xBB\xBF"
                            "abin.bkl\tD:\\M\\a.b\\in.bkl\r\nabin~2.bkl\tD:\\M\\ab\\in.bkl\r\n"
                            "cx.bks\t\r\ncx~2.bks\tD:\\M\\c\\x.bks\r\n"
                            "abin~3.bkl\tD:\\M\\a.b.\\in.bkl\r\n");
    EXPECT_TRUE(next.Changed());
}

TEST(StagingNamesTest, ADamagedLineLosesOnlyItself) {
    FakePlatform platform;
    StagingNames names(platform);
    const std::string file = "x.bkl\tD:\\M\\x.bkl\n"       // LF
                             "\n"                            // blank: passed over
                             "y.bkl\tD:\\M\\\xC3\xA9\\y.bkl\t1234\t5678\r\n"  // later fields
                             " \r\n"                         // a space
                             "\x1A\r\n"                      // Ctrl-Z
                             "# a comment\r\n"
                             "a\\z.bkl\tD:\\M\\z.bkl\r\n"    // a path as the name
                             "z\tD:\\M\\z.bkl\r\n"           // no extension
                             "z.bkl \tD:\\M\\z.bkl\r\n"      // a trailing space
                             "X.BKL\tD:\\b\r\n"              // a name held already
                             "w.bkl\td:\\m\\X.BKL\r\n"       // a log held already
                             "w.bkl\tnot a path\r\n"
                             "w.bkl\tD:\\\xC3\r\n"           // not UTF-8
                             "held.bkl\t\r\n";               // a name the archive holds
    EXPECT_EQ(names.Add(file).refused, (std::vector<std::size_t>{4, 5, 6, 7, 8, 9, 10, 11, 12, 13}));
    EXPECT_EQ(names.Entry(1).source, L"D:\\M\\\u00E9\\y.bkl");
    EXPECT_TRUE(names.Holds(L"held.bkl"));
    EXPECT_EQ(NameOf(names, L"D:\\M\\z.bkl", L"Mz.bkl"), L"Mz.bkl");
    EXPECT_EQ(NameOf(names, L"D:\\M\\x.bkl", L"Mx.bkl"), L"x.bkl");

    StagingNames notepad(platform);  // saved as "Unicode" by Notepad
    std::string utf16 = "\xFF\xFE";
    for (char c : std::string("x.bkl\tD:\\M\\x.bkl\r\n")) utf16 += std::string{c, '\0'};
    EXPECT_TRUE(notepad.Add(utf16).refused.empty());
    EXPECT_EQ(notepad.Entry(0).source, L"D:\\M\\x.bkl");
    EXPECT_TRUE(notepad.Changed());  // to be written back as UTF-8
}

class CollectionTest : public RunFixture {
protected:
    CollectionTest() {
        platform.AddFile(L"D:\\Becky\\acct.one\\in.bkl", L"in one");
        platform.AddFile(L"D:\\Becky\\acct.one\\out.bks", L"out one");
        platform.AddFile(L"D:\\Becky\\a.b\\x.bkl", L"from a.b");
        platform.AddFile(L"D:\\Becky\\ab\\x.bkl", L"from ab");
        platform.AddDirectory(L"C:\\Backups");
    }
    void List(std::vector<std::wstring> paths) {
        platform.onProcess = ListingAndArchiver(platform, std::move(paths));
    }
    // The archive as the fake archiver holds it, written anew.
    void WriteArchive() {
        std::vector<std::pair<std::wstring, std::string>> entries;
        for (const auto& [name, content] : platform.archive) entries.emplace_back(name, ToUtf8(content));
        platform.AddFileBytes(Archive(), Rar5Archive(entries));
    }
    NightPlace Place(const std::wstring& dataDir = L"D:\\Becky\\", const std::wstring& archive = Archive()) {
        return {dataDir, archive, platform.programFolder, 1000, 2000, {}};
    }
    StagingResult Stage(const std::wstring& dataDir = L"D:\\Becky\\",
                        const std::wstring& archive = Archive()) {
        quarn::StagingFolder staging(platform, platform.programFolder);
        return StageNight(platform, Place(dataDir, archive), staging).result;
    }
    // The night's steps, the archiver answering as it would, and what it recorded.
    StagingResult Run() {
        quarn::StagingFolder staging(platform, platform.programFolder);
        const NightPlace place = Place();
        Tonight night = StageNight(platform, place, staging);
        KeepThePast(platform, place, staging.Path(), night);
        EXPECT_TRUE(platform.RunProcess(L"\"rar.exe\" " + BuildArchiveCommand(Archive()),
                                        WindowShow::MinimizedInactive, StagingFolder(), {}, {}, 1));
        confirmation = ConfirmNight(platform, place, night, true, 0);
        EXPECT_TRUE(confirmation.recorded.Ok());
        return night.result;
    }
    static std::wstring Archive() { return L"C:\\Backups\\x.rar"; }
    Confirmation confirmation;
    static std::wstring NamesFile() { return L"C:\\Backups\\x.rar.names"; }
    std::wstring StagedPath(const std::wstring& name) const {
        return StagingFolder() + L"\\" + StagingSubfolder(name) + L"\\" + name;
    }
    std::wstring Staged(const std::wstring& name) { return platform.FileContent(StagedPath(name)); }
};

TEST_F(CollectionTest, StagesEveryListedLogUnderItsLastingName) {
    List({L"D:\\Becky\\acct.one\\in.bkl", L"", L"D:\\Becky\\acct.one\\out.bks", L"no separator",
          L"D:\\Becky\\acct.one\\in.bkl_old", L"D:\\Becky\\a.b\\x.bkl", L"D:\\Becky\\ab\\x.bkl"});
    const StagingResult first = Stage();
    EXPECT_TRUE(first.notCopied.empty());
    EXPECT_EQ(first.copied, 4u);
    EXPECT_EQ(first.namesNote, L"");  // the first run: nothing to tell
    EXPECT_EQ(StagedCopies(),
              (std::vector<std::wstring>{L"abx.bkl", L"abx~2.bkl", L"acctonein.bkl", L"acctoneout.bks"}));
    EXPECT_EQ(Staged(L"abx~2.bkl"), L"from ab");
    EXPECT_EQ(platform.started.front().commandLine, L"\"C:\\Windows\\system32\\cmd.exe\" /d /u /v:off /c QuarnBackup.bat");
    EXPECT_EQ(platform.started.front().timeoutMs, 1000u);
    EXPECT_TRUE(HasEvent(L"copy D:\\Becky\\ab\\x.bkl -> " + StagedPath(L"abx~2.bkl") +
                         L" via C:\\Tools\\QuarnLogBackup\\QuarnStaging\\copying.tmp"));
    EXPECT_TRUE(platform.FilesIn(platform.programFolder).empty());
    EXPECT_EQ(platform.FileContent(NamesFile()).rfind(L"acctonein.bkl\tD:\\Becky\\acct.one\\in.bkl\r\n", 0), 0u);

    // The account with a.b is gone and a new one sorts first: ab keeps its name,
    // and the name of a.b's last backup stays its own.
    platform.AddFile(L"D:\\Becky\\a..b\\x.bkl", L"from a..b");
    List({L"D:\\Becky\\a..b\\x.bkl", L"D:\\Becky\\ab\\x.bkl"});
    EXPECT_TRUE(Stage().namesNote.empty());
    EXPECT_EQ(Staged(L"abx~3.bkl"), L"from a..b");
    EXPECT_EQ(Staged(L"abx~2.bkl"), L"from ab");
    EXPECT_EQ(Staged(L"abx.bkl"), L"from a.b");  // the earlier copy, not overwritten
    EXPECT_FALSE(platform.HasFile(NamesFile() + L".damaged"));
    EXPECT_TRUE(platform.HasFile(NamesFile() + L".bak"));  // the generation before

    // Nothing new: the names file is not rewritten.
    platform.events.clear();
    Stage();
    EXPECT_FALSE(HasEvent(L"move C:\\Backups\\x.rar.names.new"));
}

TEST_F(CollectionTest, OnlyChangedLogsAreStagedUnlessAnyDoubtMakesTheRunFull) {
    const std::vector<std::wstring> logs{L"D:\\Becky\\acct.one\\in.bkl", L"D:\\Becky\\acct.one\\out.bks",
                                         L"D:\\Becky\\a.b\\x.bkl", L"D:\\Becky\\ab\\x.bkl"};
    List(logs);
    platform.writeTimes[Archive()] = {2026, 12, 1, 23, 0, 0};
    StagingResult result = Run();
    EXPECT_EQ(result.fullRunReason, L"the archive was missing");
    EXPECT_EQ(result.copied, 4u);
    const std::wstring names = platform.FileContent(NamesFile());
    EXPECT_EQ(names.rfind(L":archive\tc:\\backups\\x.rar\t", 0), 0u) << names;
    // Size, write time and CRC-32 of what the archive was found to hold, and change time.
    EXPECT_NE(names.find(L"\r\nacctonein.bkl\tD:\\Becky\\acct.one\\in.bkl\t6\t72853167604\t9d24c6c0\t"),
              std::wstring::npos);

    platform.events.clear();
    result = Run();
    EXPECT_EQ(result.fullRunReason, L"");
    EXPECT_EQ(result.unchanged, 4u);
    EXPECT_FALSE(HasEvent(L"copy "));

    // A grown log, and one rewritten with the same size and an earlier write time;
    // a log that cannot be copied keeps its old record and is staged again next time.
    platform.AddFile(logs[0], L"in one, grown");
    platform.writeTimes[logs[1]] = {2026, 11, 1, 8, 0, 0};
    platform.AddFile(logs[1], L"OUT ONE");
    platform.AddFile(logs[2], L"from a.b, grown");
    platform.copyErrors[logs[2]] = 32;
    platform.events.clear();
    result = Run();
    EXPECT_EQ(result.fullRunReason, L"");
    EXPECT_EQ(result.copied, 2u);
    EXPECT_EQ(result.unchanged, 1u);
    EXPECT_EQ(result.notCopied.size(), 1u);
    EXPECT_EQ(platform.archive[L"acctonein.bkl"], L"in one, grown");
    EXPECT_EQ(platform.archive[L"acctoneout.bks"], L"OUT ONE");
    platform.copyErrors.clear();
    platform.events.clear();
    result = Run();
    EXPECT_EQ(result.copied, 1u);
    EXPECT_EQ(platform.archive[L"abx.bkl"], L"from a.b, grown");

    // Rewritten with the same size by a tool that put the write time back: its change
    // time, which no one can put back, tells.
    platform.AddFile(logs[3], L"FROM AB");
    result = Run();
    EXPECT_EQ(result.copied, 1u);
    EXPECT_EQ(platform.archive[L"abx~2.bkl"], L"FROM AB");

    // Each doubt makes the next run full, and a full run clears it.
    WriteArchive();  // replaced by a copy, its time restored
    EXPECT_EQ(Run().fullRunReason, L"the archive was replaced or changed");
    platform.AddFile(logs[3], L"from ab, grown");
    Stage();  // ends before the archiver
    EXPECT_EQ(Run().fullRunReason, L"the last run did not end well");
    EXPECT_EQ(Run().fullRunReason, L"");
    const std::string withRecord = platform.FileBytes(NamesFile());
    platform.AddFileBytes(NamesFile(), "\xEF\xBB\xBF" + withRecord.substr(withRecord.find('\n') + 1));
    EXPECT_EQ(Run().fullRunReason, L"no records of what the archive holds");  // how a user forces one
    platform.now = {2027, 1, 6, 23, 0, 4};
    EXPECT_EQ(Run().fullRunReason, L"");
    platform.now.day = 7;
    EXPECT_EQ(Run().fullRunReason, L"the last full run was more than 30 days ago");
    platform.AddFileBytes(L"C:\\Backups\\y.rar.names", platform.FileBytes(NamesFile()));
    platform.AddFileBytes(L"C:\\Backups\\y.rar", platform.FileBytes(Archive()));
    EXPECT_EQ(Stage(L"D:\\Becky\\", L"C:\\Backups\\y.rar").fullRunReason, L"BackupDir or ZipFile changed");
}

TEST_F(CollectionTest, AShareIsListedByItsOwnPathsAndAPathOutsideItStopsTheRun) {
    const std::wstring share = L"\\\\server\\share\\Mail\\";
    platform.AddFile(share + L"acct\\in.bkl", L"on the share");
    platform.AddFile(share + L"acct\\out.bks", L"sent");
    List({share + L"acct\\in.bkl", L"\\\\SERVER\\share\\mail\\acct\\out.bks"});
    platform.environment[L"DIRCMD"] = L"/p /l";
    const std::map<std::wstring, std::wstring> environment = platform.environment;
    EXPECT_TRUE(Stage(share).notCopied.empty());
    EXPECT_EQ(Staged(L"acctin.bkl"), L"on the share");
    EXPECT_EQ(Staged(L"acctout.bks"), L"sent");
    // The folder reaches the listing alone, without the user's default dir switches;
    // the program's own environment stays as it was.
    EXPECT_EQ(platform.started.front().environment.at(L"QUARN_DATA_DIR"), share);
    EXPECT_EQ(platform.started.front().environment.count(L"DIRCMD"), 0u);
    EXPECT_EQ(platform.environment, environment);

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

TEST_F(CollectionTest, ALostListGivesEachLogItsOwnLongestEntryAndAnEntryTwoMatchAlikeToNone) {
    // Two accounts' logs begin with the same welcome message; b's was archived first.
    const std::wstring a = L"D:\\Becky\\a\\Inbox\\in.bkl", b = L"D:\\Becky\\b\\Inbox\\in.bkl";
    platform.AddFile(b, L"Welcome;");
    List({b});
    Run();
    platform.AddFile(a, L"Welcome;from a;");
    List({b, a});
    Run();
    EXPECT_EQ(platform.archive, (std::map<std::wstring, std::wstring>{{L"Inboxin.bkl", L"Welcome;"},
                                                                      {L"Inboxin~2.bkl", L"Welcome;from a;"}}));
    // Both grow, the list is lost, and a is listed first: it takes its own, longer entry,
    // and b the one that is then b's alone.
    platform.AddFile(a, L"Welcome;from a;more;");
    platform.AddFile(b, L"Welcome;from b;");
    for (const wchar_t* lost : {L"", L".bak"}) EXPECT_TRUE(platform.RemoveFile(NamesFile() + lost));
    List({a, b});
    const StagingResult result = Run();
    EXPECT_NE(result.namesNote.find(L"Inboxin~2.bkl for " + a + L" (its first 15 bytes); Inboxin.bkl for " + b +
                                    L" (its first 8 bytes)"),
              std::wstring::npos) << ToUtf8(result.namesNote);
    EXPECT_EQ(platform.archive, (std::map<std::wstring, std::wstring>{{L"Inboxin.bkl", L"Welcome;from b;"},
                                                                      {L"Inboxin~2.bkl", L"Welcome;from a;more;"}}));

    // An entry that two logs without a name match alike is neither's: it stays, and
    // each gets a name of its own.
    const std::wstring c = L"D:\\Becky\\c\\Inbox\\in.bkl", d = L"D:\\Becky\\d\\Inbox\\in.bkl";
    platform.archive[L"Inboxin~3.bkl"] = L"Hello;";
    WriteArchive();
    platform.AddFile(c, L"Hello;c;");
    platform.AddFile(d, L"Hello;d;");
    for (const wchar_t* lost : {L"", L".bak"}) EXPECT_TRUE(platform.RemoveFile(NamesFile() + lost));
    List({a, b, c, d});
    EXPECT_NE(Run().namesNote.find(L"1 entry is the beginning of more than one log"), std::wstring::npos);
    EXPECT_EQ(platform.archive[L"Inboxin~3.bkl"], L"Hello;");
    EXPECT_EQ(platform.archive[L"Inboxin~4.bkl"], L"Hello;c;");
    EXPECT_EQ(platform.archive[L"Inboxin~5.bkl"], L"Hello;d;");
}

TEST_F(CollectionTest, ALostNamesFileNeverGivesAnEntryToAnotherLogAndContentProvesALogsOwn) {
    platform.AddFile(L"D:\\Becky\\one\\Inbox\\in.bkl", L"one");
    platform.AddFile(L"D:\\Becky\\two\\Inbox\\in.bkl", L"two");
    List({L"D:\\Becky\\one\\Inbox\\in.bkl", L"D:\\Becky\\two\\Inbox\\in.bkl"});
    Run();
    EXPECT_EQ(platform.archive[L"Inboxin.bkl"], L"one");
    EXPECT_EQ(platform.archive[L"Inboxin~2.bkl"], L"two");

    // Account one is removed, two grows, and the names list is lost: the archive is
    // read, its names held, and two's entry, whose content is two's first bytes, is two's.
    platform.AddFile(L"D:\\Becky\\two\\Inbox\\in.bkl", L"two, grown");
    EXPECT_TRUE(platform.RemoveFile(NamesFile()));
    EXPECT_TRUE(platform.RemoveFile(NamesFile() + L".bak"));
    List({L"D:\\Becky\\two\\Inbox\\in.bkl"});
    platform.events.clear();
    const StagingResult result = Run();
    EXPECT_EQ(result.fullRunReason, L"no records of what the archive holds");
    EXPECT_EQ(result.namesNote, L"The list of archive names C:\\Backups\\x.rar.names was missing. "
                                L"2 names were recovered from the archive's own headers. 1 log took "
                                L"back its entry, each the beginning of its log: Inboxin~2.bkl for "
                                L"D:\\Becky\\two\\Inbox\\in.bkl (its first 3 bytes).");
    EXPECT_EQ(platform.archive, (std::map<std::wstring, std::wstring>{
                                    {L"Inboxin.bkl", L"one"},  // the removed account's last backup
                                    {L"Inboxin~2.bkl", L"two, grown"}}));

    // A stray line, and the list no longer matches its seal: it is salvaged, the archive
    // fills in what it holds, and no log moves to another name.
    platform.AddFileBytes(NamesFile(), platform.FileBytes(NamesFile()) + " \r\n");
    platform.events.clear();
    const std::wstring note = Run().namesNote;
    EXPECT_EQ(note.rfind(L"The unfit line ", 0), 0u) << note;
    EXPECT_NE(note.find(L"The names of its earlier generation C:\\Backups\\x.rar.names.bak were taken."),
              std::wstring::npos);
    EXPECT_TRUE(platform.HasFile(NamesFile() + L".damaged"));
    EXPECT_EQ(platform.archive.size(), 2u);

    // A list cut short, its generation unreadable: the line it lost names no other log.
    const std::string whole = platform.FileBytes(NamesFile());
    platform.AddFileBytes(NamesFile(), whole.substr(0, whole.rfind("Inboxin~2.bkl")));
    platform.AddFileBytes(NamesFile() + L".bak", "\xFF\xFE\xFF\xFE");
    EXPECT_NE(Run().namesNote.find(L"does not match its first line"), std::wstring::npos);
    EXPECT_EQ(platform.archive, (std::map<std::wstring, std::wstring>{
                                    {L"Inboxin.bkl", L"one"}, {L"Inboxin~2.bkl", L"two, grown"}}));
}

TEST_F(CollectionTest, AnArchiveThatTestsOrListsDamagedIsToldBeforeAnyCopy) {
    platform.AddFile(Archive(), L"archive");
    List({L"D:\\Becky\\ab\\x.bkl"});
    // No names list: a full run, which tests the archive first.
    platform.archiverExits[L"t"] = 3;
    StagingResult result = Stage();
    EXPECT_EQ(result.damage, L"the archiver finds a checksum error in it (exit code 3)");
    EXPECT_TRUE(HasEvent(L"run \"C:\\Program Files\\WinRAR\\rar.exe\" t -inul \"C:\\Backups\\x.rar\""));
    EXPECT_EQ(platform.started.back().timeoutMs, 2000u);
    EXPECT_FALSE(HasEvent(L"copy "));
    EXPECT_FALSE(platform.HasFile(NamesFile()));

    // A file that is no archive tests well enough: not damage, but nothing the program
    // can vouch for; the archive is left as it is.
    platform.archiverExits.clear();
    const Stop unreadable = StopOf([&] { Stage(); });
    EXPECT_EQ(unreadable.code, ExitCode::ArchiverFailed);
    EXPECT_EQ(unreadable.message.rfind(L"The archive C:\\Backups\\x.rar cannot be read: it is not a "
                                       L"RAR archive.", 0), 0u) << unreadable.message;
    EXPECT_EQ(platform.FileContent(Archive()), L"archive");
    EXPECT_FALSE(HasEvent(L"copy "));

    // A header that fails its checksum is damage, whatever the archiver's test said.
    platform.archive[L"abx.bkl"] = L"from ab";
    WriteArchive();
    std::string bytes = platform.FileBytes(Archive());
    bytes[bytes.find("abx.bkl") - 3] ^= 0x01;
    platform.AddFileBytes(Archive(), bytes);
    EXPECT_EQ(Stage().damage.value_or(L"").rfind(L"it has a header that fails its checksum", 0), 0u);
    EXPECT_FALSE(HasEvent(L"copy "));

    platform.onProcess = [](const std::wstring&) { return Result<ProcessEnd>(Failed{2}); };
    EXPECT_EQ(StopOf([&] { Stage(); }).code, ExitCode::ArchiverNotStarted);
}

TEST_F(CollectionTest, TheNamesBesideTheProgramMoveBesideTheArchive) {
    const std::wstring earlier = platform.programFolder + L"\\QuarnBackup.names";
    platform.AddFileBytes(earlier, "\xEF\xBB\xBF" "abx.bkl\tD:\\Becky\\ab\\x.bkl\r\nbad line\r\n");
    platform.archive[L"abx.bkl"] = L"from ab";
    WriteArchive();
    List({L"D:\\Becky\\a.b\\x.bkl", L"D:\\Becky\\ab\\x.bkl"});
    platform.events.clear();
    const StagingResult result = Stage();
    EXPECT_EQ(result.namesNote, L"The names kept beside the program in " + earlier +
                                    L" were moved to C:\\Backups\\x.rar.names; its unfit or "
                                    L"repeated line 2 was dropped. 0 names were recovered from the "
                                    L"archive's own headers.");
    EXPECT_EQ(Staged(L"abx.bkl"), L"from ab");
    EXPECT_EQ(Staged(L"abx~2.bkl"), L"from a.b");
    EXPECT_FALSE(platform.HasFile(earlier));
}

TEST_F(CollectionTest, NamesThatCannotBeKeptStopBeforeAnyCopy) {
    platform.unwritableFiles.insert(NamesFile());
    List({L"D:\\Becky\\ab\\x.bkl"});
    const Stop stop = StopOf([&] { Stage(); });
    EXPECT_EQ(stop.code, ExitCode::BackupDirUnusable);
    EXPECT_NE(stop.message.find(NamesFile()), std::wstring::npos);
    EXPECT_FALSE(HasEvent(L"copy "));
    EXPECT_FALSE(platform.HasFile(NamesFile() + L".new"));
}

TEST_F(CollectionTest, ARewrittenLogKeepsWhatTheArchiveHeldOfItAndAGrownOneDoesNot) {
    const std::vector<std::wstring> logs{L"D:\\Becky\\acct.one\\in.bkl", L"D:\\Becky\\acct.one\\out.bks",
                                         L"D:\\Becky\\a.b\\x.bkl", L"D:\\Becky\\ab\\x.bkl"};
    List(logs);
    Run();
    platform.AddFile(logs[0], L"in one, and more");  // grown
    platform.AddFile(logs[1], L"new");                // emptied and written anew
    platform.AddFile(logs[2], L"FROM A.B");           // compacted to the same size
    platform.writeTimes[logs[2]] = {2026, 12, 7, 23, 30, 0};
    StagingResult result = Run();
    EXPECT_EQ(result.fullRunReason, L"");
    EXPECT_EQ(result.rewritten, 2u);
    EXPECT_EQ(platform.archive, (std::map<std::wstring, std::wstring>{
                                    {L"acctonein.bkl", L"in one, and more"},
                                    {L"acctoneout.bks", L"new"},
                                    {L"acctoneout.2026-12-07.bks", L"out one"},
                                    {L"abx.bkl", L"FROM A.B"},
                                    {L"abx.2026-12-07.bkl", L"from a.b"},
                                    {L"abx~2.bkl", L"from ab"}}));
    const std::wstring names = platform.FileContent(NamesFile());
    EXPECT_NE(names.find(L"\r\nabx.2026-12-07.bkl\tD:\\Becky\\a.b\\x.bkl\tkept:2026-12-07\r\n"),
              std::wstring::npos) << names;

    // Rewritten again the same day, and once more in a full run, whose base is the
    // archive's own listing: each state stays.
    platform.AddFile(logs[2], L"third");
    Run();
    EXPECT_EQ(platform.archive[L"abx.2026-12-07-2.bkl"], L"FROM A.B");
    platform.writeTimes[Archive()] = {2026, 12, 1, 0, 0, 0};
    platform.AddFile(logs[2], L"4th");
    platform.now.day = 8;
    result = Run();
    EXPECT_EQ(result.fullRunReason, L"the archive was replaced or changed");
    EXPECT_EQ(result.rewritten, 1u);
    EXPECT_EQ(platform.archive[L"abx.2026-12-08.bkl"], L"third");
    EXPECT_EQ(platform.archive[L"abx.bkl"], L"4th");
    EXPECT_EQ(platform.archive.size(), 8u);
}

TEST_F(CollectionTest, OnlyWhatTheArchiveReadBackHoldsIsRecorded) {
    const std::vector<std::wstring> logs{L"D:\\Becky\\acct.one\\in.bkl", L"D:\\Becky\\acct.one\\out.bks",
                                         L"D:\\Becky\\a.b\\x.bkl", L"D:\\Becky\\ab\\x.bkl"};
    List(logs);
    // A copy taken away before the archiver read it: the archive lacks it.
    platform.archiveLoses.insert(L"abx.bkl");
    Run();
    EXPECT_EQ(confirmation.confirmed, 3u);
    EXPECT_EQ(confirmation.missing, std::vector<std::wstring>{L"abx.bkl"});
    EXPECT_NE(platform.FileContent(NamesFile()).find(L"\r\nabx.bkl\tD:\\Becky\\a.b\\x.bkl\r\n"),
              std::wstring::npos);  // no record: still changed
    platform.archiveLoses.clear();
    StagingResult result = Run();
    EXPECT_EQ(result.fullRunReason, L"");
    EXPECT_EQ(result.copied, 1u);
    EXPECT_EQ(platform.archive[L"abx.bkl"], L"from a.b");

    // A full run records no log it could not copy, and one locked log alone does not
    // make the next run full.
    WriteArchive();  // replaced
    platform.copyErrors[logs[0]] = 32;
    result = Run();
    EXPECT_EQ(result.fullRunReason, L"the archive was replaced or changed");
    EXPECT_NE(platform.FileContent(NamesFile()).find(L"\r\nacctonein.bkl\tD:\\Becky\\acct.one\\in.bkl\r\n"),
              std::wstring::npos);
    platform.AddFile(logs[1], L"out one, and more");
    result = Run();
    EXPECT_EQ(result.fullRunReason, L"");
    EXPECT_EQ(result.copied, 1u);  // out.bks; in.bkl fails again
    EXPECT_EQ(result.notCopied.size(), 1u);
    platform.copyErrors.clear();
    result = Run();
    EXPECT_EQ(result.fullRunReason, L"");
    EXPECT_EQ(result.copied, 1u);

    // A copy an earlier run left that is older than what the archive holds of its log
    // never goes over the entry.
    platform.AddFile(StagingFolder() + L"\\3f\\acctonein.bkl", L"in on");
    platform.writeTimes[StagingFolder() + L"\\3f\\acctonein.bkl"] = {2026, 12, 1, 23, 0, 0};
    platform.writeTimes[logs[0]] = {2026, 12, 7, 22, 0, 0};
    platform.AddFile(logs[0], L"in one, written");
    result = Run();
    EXPECT_EQ(result.fullRunReason, L"the last run did not end well");
    EXPECT_EQ(platform.archive[L"acctonein.bkl"], L"in one, written");

    // A night whose copy failed, then a compacted log: the entry is judged by its own
    // bytes, not by a record that the failure took away, and its past is kept.
    platform.copyErrors[logs[0]] = 32;
    Run();
    platform.copyErrors.clear();
    platform.AddFile(logs[0], L"compacted");
    result = Run();
    EXPECT_EQ(result.rewritten, 1u);
    EXPECT_EQ(platform.archive[L"acctonein.bkl"], L"compacted");
    EXPECT_EQ(platform.archive[L"acctonein.2026-12-07.bkl"], L"in one, written");

    // Copies left by a failed night of a log that is gone since: one that is a beginning
    // of its entry is older than it and removed; any other keeps the entry's past first.
    List({logs[1], logs[2], logs[3]});
    platform.AddFile(StagingFolder() + L"\\3f\\acctonein.bkl", L"compac");
    result = Run();
    EXPECT_EQ(result.staleLeftovers, 1u);
    EXPECT_EQ(result.leftovers, 0u);
    EXPECT_EQ(platform.archive[L"acctonein.bkl"], L"compacted");
    EXPECT_TRUE(StagedCopies().empty());
    EXPECT_FALSE(platform.HasFile(platform.programFolder + L"\\QuarnEntryCheck\\acctonein.bkl"));
    platform.AddFile(StagingFolder() + L"\\3f\\acctonein.bkl", L"other mail");
    result = Run();
    EXPECT_EQ(result.leftovers, 1u);
    EXPECT_EQ(platform.archive[L"acctonein.bkl"], L"other mail");
    EXPECT_EQ(platform.archive[L"acctonein.2026-12-07-2.bkl"], L"compacted");
}

TEST_F(CollectionTest, TheArchiveIsTestedWeeklyItsListIsOneComputersAndNoDateLiesInTheFuture) {
    List({L"D:\\Becky\\ab\\x.bkl"});
    platform.writeTimes[Archive()] = {2026, 12, 1, 0, 0, 0};
    Run();
    const auto tests = [this] {
        return std::count_if(platform.started.begin(), platform.started.end(), [](const auto& p) {
            return p.commandLine.find(L"rar.exe\" t ") != std::wstring::npos;
        });
    };
    platform.now = {2026, 12, 14, 23, 0, 4};
    Run();
    EXPECT_EQ(tests(), 0);
    platform.now.day = 15;  // eight days after the archive was made
    Run();
    EXPECT_EQ(tests(), 1);
    platform.now.day = 16;
    Run();
    EXPECT_EQ(tests(), 1);

    // A clock that was set ahead left a full run dated in the future.
    platform.now = {2027, 3, 1, 23, 0, 4};
    EXPECT_EQ(Run().fullRunReason, L"the last full run was more than 30 days ago");
    platform.now = {2026, 12, 20, 23, 0, 4};
    EXPECT_EQ(Run().fullRunReason, L"the last full run is dated in the future");

    // Another computer's list: refused, with both names and the fix.
    platform.computerName = L"BOB-PC";
    const Stop stop = StopOf([&] { Stage(); });
    EXPECT_EQ(stop.code, ExitCode::SettingInvalid);
    EXPECT_NE(stop.message.find(L"the computer ANN-PC, and this computer is BOB-PC"), std::wstring::npos);
    EXPECT_NE(stop.message.find(L"set another ZipFile"), std::wstring::npos);
    platform.computerName = L"ann-pc";  // the same name, another case
    EXPECT_EQ(StopOf([&] { Stage(); }).code, ExitCode::Done);
}

TEST_F(CollectionTest, OneCopyPerNameAndEveryLeftoverIsToldApart) {
    List({L"D:\\Becky\\acct.one\\in.bkl", L"D:\\Becky\\acct.one\\out.bks", L"D:\\Becky\\ab\\x.bkl"});
    Stage();
    // Left by earlier runs: a stale copy in another folder, and in another case, of a log
    // copied afresh; a copy of a log that cannot be copied now; a copy of a gone log, twice.
    platform.AddFile(StagingFolder() + L"\\acctonein.bkl", L"stale, top");
    const std::wstring other = StagingSubfolder(L"acctonein.bkl") == L"3f" ? L"3e" : L"3f";
    platform.AddFile(StagingFolder() + L"\\" + other + L"\\ACCTONEIN.BKL", L"stale, other case");
    EXPECT_TRUE(platform.RemoveFile(StagedPath(L"abx.bkl")));
    platform.AddFile(StagingFolder() + L"\\old\\layout\\oldx.bkl", L"gone, older");
    platform.writeTimes[StagingFolder() + L"\\old\\layout\\oldx.bkl"] = {2026, 12, 1, 23, 0, 0};
    platform.AddFile(StagedPath(L"oldx.bkl"), L"gone, newest");
    platform.writeTimes[StagedPath(L"acctoneout.bks")] = {2026, 12, 6, 23, 0, 4};
    platform.AddFile(StagingFolder() + L"\\copying.tmp", L"half");
    platform.AddFile(StagingFolder() + L"\\12\\Inboxin", L"no extension: never archived");
    platform.copyErrors[L"D:\\Becky\\acct.one\\out.bks"] = 32;
    platform.copyErrors[L"D:\\Becky\\ab\\x.bkl"] = 5;

    const StagingResult result = Stage();
    EXPECT_EQ(result.copied, 1u);
    EXPECT_EQ(result.earlierCopies, 1u);
    EXPECT_EQ(result.leftovers, 1u);
    ASSERT_EQ(result.notCopied.size(), 2u);
    EXPECT_EQ(result.notCopied[0].reason,
              L"error 32 An earlier copy from 2026-12-06 23:00 was archived instead.");
    EXPECT_EQ(result.notCopied[1].reason, L"error 5 It was not backed up.");
    EXPECT_EQ(StagedCopies(), (std::vector<std::wstring>{L"acctonein.bkl", L"acctoneout.bks", L"oldx.bkl"}));
    EXPECT_EQ(Staged(L"acctonein.bkl"), L"in one");
    EXPECT_EQ(Staged(L"oldx.bkl"), L"gone, newest");
    EXPECT_NE(platform.FileContent(NamesFile()).find(L"\r\noldx.bkl\t\r\n"), std::wstring::npos);
    EXPECT_EQ(platform.FilesBelow(StagingFolder()).size(), 3u);
}

TEST_F(CollectionTest, ACopyOfAnUnknownNameIsArchivedUnderItAndTheNameIsHeld) {
    platform.AddFile(StagingFolder() + L"\\abx.bkl", L"of a log no names file knows");
    List({L"D:\\Becky\\ab\\x.bkl"});
    const StagingResult result = Run();
    EXPECT_EQ(result.leftovers, 1u);
    EXPECT_EQ(platform.archive[L"abx.bkl"], L"of a log no names file knows");
    EXPECT_EQ(platform.archive[L"abx~2.bkl"], L"from ab");
}

class ListingFailureTest : public CollectionTest {
protected:
    static void Ignore(const std::wstring&) {}
    ExitCode Collect(const std::wstring& programFolder = L"C:\\Tools\\QuarnLogBackup") {
        const Stop stop = StopOf(
            [&] { note = ListLogFiles(platform, L"D:\\Becky\\", programFolder, 1800000, Ignore); });
        message = stop.message;
        return stop.code;
    }
    std::wstring message;
    std::wstring note;
};

TEST_F(ListingFailureTest, EachWayTheListingCanFailStopsTheRun) {
    platform.onProcess = [](const std::wstring&) { return Result<ProcessEnd>(Failed{2}); };
    EXPECT_EQ(Collect(), ExitCode::ListingFailed);
    EXPECT_NE(message.find(L"could not be started: error 2"), std::wstring::npos);

    platform.onProcess = [](const std::wstring&) { return Result<ProcessEnd>(ProcessEnd{false, 1}); };
    EXPECT_EQ(Collect(), ExitCode::ListingFailed);  // ended without its marker
    EXPECT_NE(message.find(L"without finishing"), std::wstring::npos);

    platform.onProcess = [this](const std::wstring&) {
        platform.AddFile(platform.programFolder + L"\\done.tmp", L"done");
        return Result<ProcessEnd>(ProcessEnd{});
    };
    EXPECT_EQ(Collect(), ExitCode::ListingFailed);  // marker but no list: dir could not start
    EXPECT_NE(message.find(L"D:\\Becky\\"), std::wstring::npos);

    platform.onProcess = [](const std::wstring&) { return Result<ProcessEnd>(ProcessEnd{true}); };
    EXPECT_EQ(Collect(), ExitCode::WaitTimedOut);
    EXPECT_NE(message.find(L"did not end within 30 minutes"), std::wstring::npos);
    EXPECT_TRUE(platform.FilesIn(platform.programFolder).empty());  // its files are gone
}

TEST_F(ListingFailureTest, UnwritableWorkingFolderStops) {
    EXPECT_EQ(Collect(L"C:\\Missing"), ExitCode::WorkingFolderUnusable);
    EXPECT_NE(message.find(L"C:\\Missing"), std::wstring::npos);
}

}  // namespace
}  // namespace quarn::testing
