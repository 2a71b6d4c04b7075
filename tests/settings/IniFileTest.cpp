#include "settings/IniFile.h"

#include <gtest/gtest.h>

#include "fakes/FakePlatform.h"
#include "fakes/StopOf.h"

namespace quarn::testing {
namespace {

const std::wstring kFile = L"C:\\Tools\\QuarnBackup.ini";

class IniFileTest : public ::testing::Test {
protected:
    IniFileTest() { platform.AddDirectory(L"C:\\Tools"); }
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
    EXPECT_TRUE(WriteIniValue(platform, L"ZipFiles", L"ZipFile", L"", kFile));
    EXPECT_EQ(Read(L"QuarnLogsZip.rar"), L"QuarnLogsZip.rar");
    EXPECT_EQ(platform.ReadProfileText(L"ZipFiles", L"ZipFile", 255, kFile), L"QuarnLogsZip.rar");
}

TEST_F(IniFileTest, EmptyDefaultIsReturnedWithoutWriting) {
    EXPECT_EQ(Read(L""), L"");
    EXPECT_EQ(Writes(), 0u);
}

TEST_F(IniFileTest, StoredValueWinsAndLongValuesAreCutAt254Characters) {
    EXPECT_TRUE(WriteIniValue(platform, L"ZipFiles", L"ZipFile", std::wstring(300, L'x'), kFile));
    EXPECT_EQ(Read(L"QuarnLogsZip.rar"), std::wstring(254, L'x'));
    EXPECT_EQ(Writes(), 1u);
}

TEST_F(IniFileTest, UnicodeTextWithoutAByteOrderMarkIsReadAndWrittenAsUtf8) {
    platform.AddFileBytes(kFile,
                          "; Notepad\r\n[backupdirectory]\r\n  BackupDir = C:\\M\xC3\xBCller Sicherung \r\n"
                          "\r\n[ZipFiles]\r\nOther='x'\r\n\r\n[Other]\r\nZipFile=no\r\n");
    EXPECT_EQ(ReadIniValue(platform, L"BackupDirectory", L"BackupDir", L"C:\\Backups", kFile),
              L"C:\\M\u00FCller Sicherung");
    EXPECT_EQ(Read(L"QuarnLogsZip.rar"), L"QuarnLogsZip.rar");
    EXPECT_EQ(ReadIniValue(platform, L"ShowMessages", L"ShowMsg", L"0", kFile), L"0");
    EXPECT_EQ(ReadIniValue(platform, L"ZipFiles", L"Other", L"", kFile), L"x");  // quotes dropped
    // Each missing key goes to the end of its section, a missing section to the end.
    EXPECT_EQ(platform.FileBytes(kFile),
              "; Notepad\r\n[backupdirectory]\r\n  BackupDir = C:\\M\xC3\xBCller Sicherung \r\n"
              "\r\n[ZipFiles]\r\nOther='x'\r\nZipFile=QuarnLogsZip.rar\r\n\r\n[Other]\r\nZipFile=no\r\n"
              "[ShowMessages]\r\nShowMsg=0\r\n");
    EXPECT_TRUE(platform.profiles.empty());
}

TEST_F(IniFileTest, AFailedRewriteLeavesAUtf8FileWholeAndAnUnreadableFileStopsTheRun) {
    const std::string utf8 = "[backupdirectory]\r\nBackupDir=D:\\M\xC3\xBCller\r\n";
    platform.AddFileBytes(kFile, utf8);
    platform.failCall = [](const std::wstring& call, const std::wstring&) {
        return call == L"MoveFileOver" ? 5U : 0U;
    };
    EXPECT_EQ(WriteIniValue(platform, L"ZipFiles", L"ZipFile", L"x.rar", kFile).Error(), 5U);
    EXPECT_EQ(platform.FileBytes(kFile), utf8);
    EXPECT_FALSE(platform.HasFile(kFile + L".new"));

    // Its defaults must never be written over settings that could not be read.
    platform.failCall = [](const std::wstring& call, const std::wstring&) {
        return call == L"ReadFileBytes" ? 32U : 0U;
    };
    const Stop stop = StopOf([&] { Read(L"QuarnLogsZip.rar"); });
    EXPECT_EQ(stop.code, ExitCode::WorkingFolderUnusable);
    EXPECT_NE(stop.message.find(kFile + L" cannot be read: error 32"), std::wstring::npos);
    EXPECT_EQ(platform.FileBytes(kFile), utf8);
    EXPECT_EQ(Writes(), 0U);
}

TEST_F(IniFileTest, ANewFileIsMadeUtf16AndAnyOtherFileIsLeftToTheProfileFunctions) {
    EXPECT_EQ(Read(L"QuarnLogsZip.rar"), L"QuarnLogsZip.rar");
    EXPECT_EQ(platform.FileBytes(kFile), "\xFF\xFE");  // the profile functions write the rest
    EXPECT_EQ(Writes(), 1u);

    for (const std::string& other : {std::string("[ZipFiles]\r\nZipFile=M\xFCller.rar\r\n"),  // ANSI
                                     std::string("\xEF\xBB\xBF[ZipFiles]\r\nZipFile=\xC3\xBC.rar\r\n")}) {
        platform.profiles.clear();
        platform.AddFileBytes(kFile, other);
        EXPECT_EQ(Read(L"QuarnLogsZip.rar"), L"QuarnLogsZip.rar");  // from the (empty) profile
        EXPECT_EQ(platform.FileBytes(kFile), other);
    }
    platform.profiles.clear();
    platform.AddFileBytes(kFile, "");
    Read(L"QuarnLogsZip.rar");
    EXPECT_EQ(platform.FileBytes(kFile), "\xFF\xFE");
}

}  // namespace
}  // namespace quarn::testing
