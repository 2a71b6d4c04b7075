#include "run/BackupDirectory.h"

#include <gtest/gtest.h>

#include "fakes/RunFixture.h"
#include "fakes/StopOf.h"
#include "run/ShowMessage.h"

namespace quarn::testing {
namespace {

class BackupDirectoryTest : public RunFixture {
protected:
    BackupDirectoryTest() { form.bIsSilent = false; }
    ExitCode Prepare(const std::wstring& dir) {
        const Stop stop = StopOf([&] { PrepareBackupDirectory(platform, dir, ShowMessage); });
        message = stop.message;
        return stop.code;
    }
    std::wstring message;
};

TEST_F(BackupDirectoryTest, CreatesEachLevelFromTheDriveRootWithItsMessages) {
    EXPECT_EQ(Prepare(L"C:\\Backups\\QuarnMail"), ExitCode::Done);
    EXPECT_TRUE(platform.HasDirectory(L"C:\\Backups\\QuarnMail"));
    EXPECT_EQ(BoxTexts(), (std::vector<std::wstring>{
                              L"Drive is : C:\\", L"made dir : Backups", L"C:\\Backups",
                              L"made dir : QuarnMail", L"C:\\Backups\\QuarnMail"}));
}

TEST_F(BackupDirectoryTest, ExistingLevelIsEnteredWithTheSameMessages) {
    platform.AddDirectory(L"C:\\Backups");
    EXPECT_EQ(Prepare(L"C:\\Backups\\QuarnMail"), ExitCode::Done);
    EXPECT_EQ(BoxTexts().size(), 5u);
    EXPECT_EQ(BoxTexts()[1], L"made dir : Backups");
}

TEST_F(BackupDirectoryTest, AnExistingDirectoryIsLeftAloneAndAFileIsRefused) {
    platform.AddDirectory(L"C:\\Backups\\QuarnMail");
    platform.AddFile(L"C:\\Archive", L"not a folder");
    EXPECT_EQ(Prepare(L"C:\\Backups\\QuarnMail"), ExitCode::Done);
    EXPECT_EQ(Prepare(L"C:\\Archive"), ExitCode::SettingInvalid);
    EXPECT_NE(message.find(L"BackupDir"), std::wstring::npos);
    EXPECT_NE(message.find(L"C:\\Archive is a file"), std::wstring::npos);
    EXPECT_TRUE(platform.boxes.empty());
    EXPECT_FALSE(HasEvent(L"mkdir"));
}

TEST_F(BackupDirectoryTest, TrailingSeparatorGivesAnEmptyLastLevel) {
    platform.AddDirectory(L"D:\\");
    EXPECT_EQ(Prepare(L"D:\\Arch\\"), ExitCode::Done);
    EXPECT_TRUE(platform.HasDirectory(L"D:\\Arch"));
    EXPECT_EQ(BoxTexts(), (std::vector<std::wstring>{L"Drive is : D:\\", L"made dir : Arch",
                                                     L"D:\\Arch", L"made dir : ", L"D:\\Arch"}));
}

TEST_F(BackupDirectoryTest, LevelThatCannotBeMadeStopsTheChainWithNoFolderMadeElsewhere) {
    platform.unmakeableDirectories.insert(L"C:\\A\\B");
    EXPECT_EQ(Prepare(L"C:\\A\\B\\C"), ExitCode::BackupDirUnusable);
    EXPECT_FALSE(platform.HasDirectory(L"C:\\A\\C"));
    EXPECT_FALSE(platform.HasDirectory(L"C:\\C"));
    EXPECT_EQ(BoxTexts(), (std::vector<std::wstring>{L"Drive is : C:\\", L"made dir : A", L"C:\\A",
                                                     L"made dir : B"}));
    EXPECT_NE(message.find(L"C:\\A\\B\\C could not be created: the folder C:\\A\\B cannot"),
              std::wstring::npos);
}

TEST_F(BackupDirectoryTest, NetworkShareLevelsAreCreatedBelowTheShare) {
    platform.AddDirectory(L"\\\\server\\share");
    EXPECT_EQ(Prepare(L"\\\\server\\share\\logs\\mail"), ExitCode::Done);
    EXPECT_TRUE(platform.HasDirectory(L"\\\\server\\share\\logs\\mail"));
    EXPECT_EQ(BoxTexts().front(), L"Drive is : \\\\server\\share\\");
    EXPECT_EQ(BoxTexts()[1], L"made dir : logs");
}

TEST_F(BackupDirectoryTest, TheFormsThatTakeAPathAsItIsAreFullPathsToo) {
    platform.AddDirectory(L"\\\\server\\share");
    EXPECT_EQ(Prepare(L"\\\\?\\C:\\Backups\\Mail"), ExitCode::Done);
    EXPECT_EQ(Prepare(L"\\\\?\\unc\\server\\share\\logs"), ExitCode::Done);
    EXPECT_TRUE(platform.HasDirectory(L"C:\\Backups\\Mail"));
    EXPECT_TRUE(platform.HasDirectory(L"\\\\server\\share\\logs"));
}

TEST_F(BackupDirectoryTest, PathsWithoutDriveOrShareAndMissingDrivesStop) {
    for (const wchar_t* dir : {L"Backups\\Mail", L"\\Backups", L"C:Backups", L"\\\\server",
                               L"\\\\?\\Backups", L"\\\\?\\UNC\\server", L"\\\\.\\C:\\Backups"}) {
        EXPECT_EQ(Prepare(dir), ExitCode::SettingInvalid) << dir;
        EXPECT_NE(message.find(L"BackupDir"), std::wstring::npos);
        EXPECT_NE(message.find(dir), std::wstring::npos);
    }
    EXPECT_EQ(Prepare(L"Q:\\Backups"), ExitCode::BackupDirUnusable);
    EXPECT_NE(message.find(L"Q:\\"), std::wstring::npos);
    EXPECT_TRUE(platform.boxes.empty());
}

}  // namespace
}  // namespace quarn::testing
