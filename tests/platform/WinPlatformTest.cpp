// WinPlatform against the real Windows functions (run under Wine on the build machine).
#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/WinHandles.h"
#include "platform/WinPlatform.h"

namespace quarn {
namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const std::wstring& path) {
    std::ifstream in(fs::path(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream(fs::path(path), std::ios::binary) << bytes;
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string Encoded(UINT codePage, const std::wstring& text) {
    std::string bytes(text.size() * 4, '\0');
    bytes.resize(WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()),
                                     bytes.data(), static_cast<int>(bytes.size()), nullptr,
                                     nullptr));
    return bytes;
}

// A fresh folder under %TEMP%, removed with its contents at the end. The current
// directory goes back first: Windows cannot remove a folder that is in use as one.
class ScratchFolder {
public:
    ScratchFolder() : previousDirectory_(fs::current_path().wstring()) {
        wchar_t temp[MAX_PATH + 1];
        const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
        path_ = std::wstring(temp, length) + L"QuarnPlatformTest" +
                std::to_wstring(GetCurrentProcessId());
        fs::create_directory(path_);
    }
    ~ScratchFolder() {
        SetCurrentDirectoryW(previousDirectory_.c_str());
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const std::wstring& Path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring previousDirectory_;
    std::wstring path_;
};

class WinPlatformTest : public ::testing::Test {
protected:
    WinPlatform platform;
    ScratchFolder scratch;
};

constexpr wchar_t kTestRoot[] = L"Software\\QuarnLogBackupTests";
constexpr wchar_t kTestKey[] = L"Software\\QuarnLogBackupTests\\Settings";
const std::wstring kDataDir = L"C:\\Mail Data";
const DWORD kDataDirBytes = static_cast<DWORD>((kDataDir.size() + 1) * sizeof(wchar_t));

class WinPlatformRegistry : public ::testing::Test {
protected:
    void SetUp() override {
        HKEY created = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_SET_VALUE,
                                  nullptr, &created, nullptr),
                  ERROR_SUCCESS);
        const UniqueRegistryKey written(created);
        RegSetValueExW(written.Get(), L"DataDir", 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(kDataDir.c_str()), kDataDirBytes);
        const DWORD count = 42;
        RegSetValueExW(written.Get(), L"Count", 0, REG_DWORD,
                       reinterpret_cast<const BYTE*>(&count), sizeof count);
        key = platform.OpenCurrentUserKey(kTestKey, KEY_READ);
        ASSERT_NE(key, nullptr);
    }
    void TearDown() override {
        key.reset();
        RegDeleteTreeW(HKEY_CURRENT_USER, kTestRoot);
    }

    WinPlatform platform;
    std::unique_ptr<RegistryKey> key;
    std::uint32_t type = 0;
    std::uint32_t size = 0;
};

TEST_F(WinPlatformRegistry, ProbesAStringsSizeThenReadsIt) {
    ASSERT_EQ(key->QueryValue(L"DataDir", type, nullptr, size), ERROR_SUCCESS);
    EXPECT_EQ(type, 1u);  // REG_SZ
    EXPECT_EQ(size, kDataDirBytes);

    std::wstring text(size / sizeof(wchar_t), L'?');
    ASSERT_EQ(key->QueryValue(L"DataDir", type, reinterpret_cast<std::uint8_t*>(text.data()), size),
              ERROR_SUCCESS);
    EXPECT_EQ(text, kDataDir + L'\0');
}

TEST_F(WinPlatformRegistry, ReadsADword) {
    std::uint32_t value = 0;
    size = sizeof value;
    ASSERT_EQ(key->QueryValue(L"Count", type, reinterpret_cast<std::uint8_t*>(&value), size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, 4u);  // REG_DWORD
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(value, 42u);
}

TEST_F(WinPlatformRegistry, ReportsMissingKeysValuesAndShortBuffers) {
    EXPECT_EQ(platform.OpenCurrentUserKey(std::wstring(kTestRoot) + L"\\NoSuchKey", KEY_READ),
              nullptr);
    EXPECT_EQ(key->QueryValue(L"NoSuchValue", type, nullptr, size), 2);  // ERROR_FILE_NOT_FOUND

    std::uint8_t tooSmall[4] = {};
    size = sizeof tooSmall;
    EXPECT_EQ(key->QueryValue(L"DataDir", type, tooSmall, size), 234);  // ERROR_MORE_DATA
    EXPECT_EQ(size, kDataDirBytes);  // what it would have needed
}

TEST(WinPlatformEnvironment, ExpandsKnownVariablesOnly) {
    WinPlatform platform;
    wchar_t temp[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"TEMP", temp, MAX_PATH);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(platform.ExpandEnvironment(L"%TEMP%\\Quarn"),
              std::wstring(temp, length) + L"\\Quarn");
    EXPECT_EQ(platform.ExpandEnvironment(L"%NO_SUCH_VAR_X%\\y"), L"%NO_SUCH_VAR_X%\\y");

    // Longer than MAX_PATH: the first buffer is too small.
    const std::wstring longValue(400, L'x');
    SetEnvironmentVariableW(L"QUARN_LONG_TEST", longValue.c_str());
    EXPECT_EQ(platform.ExpandEnvironment(L"%QUARN_LONG_TEST%!"), longValue + L"!");
    SetEnvironmentVariableW(L"QUARN_LONG_TEST", nullptr);
}

using WinPlatformProfile = WinPlatformTest;

TEST_F(WinPlatformProfile, WritesAndReadsBack) {
    const std::wstring ini = scratch / L"QuarnBackup.ini";
    ASSERT_TRUE(platform.WriteProfileText(L"Backup", L"BackupDir", L"D:\\Backups", ini));
    EXPECT_TRUE(Exists(ini));
    EXPECT_EQ(platform.ReadProfileText(L"Backup", L"BackupDir", 255, ini), L"D:\\Backups");
    EXPECT_EQ(platform.ReadProfileText(L"Backup", L"NoSuchKey", 255, ini), L"");
    EXPECT_EQ(platform.ReadProfileText(L"Backup", L"BackupDir", 255, scratch / L"none.ini"), L"");
}

TEST_F(WinPlatformProfile, KeepsOneCharacterLessThanTheBuffer) {
    const std::wstring ini = scratch / L"QuarnBackup.ini";
    std::wstring value;
    for (int i = 0; i < 300; ++i) value += static_cast<wchar_t>(L'a' + i % 26);
    ASSERT_TRUE(platform.WriteProfileText(L"Backup", L"BackupDir", value, ini));
    EXPECT_EQ(platform.ReadProfileText(L"Backup", L"BackupDir", 255, ini), value.substr(0, 254));
}

TEST_F(WinPlatformProfile, WritesAnsiWithSectionsInOrderOfFirstWrite) {
    const std::wstring ini = scratch / L"QuarnBackup.ini";
    const std::wstring greeting = L"Gr\u00FC\u00DFe";  // in the ANSI code page of Western systems
    ASSERT_TRUE(platform.WriteProfileText(L"Zeta", L"Name", greeting, ini));
    ASSERT_TRUE(platform.WriteProfileText(L"Alpha", L"Key", L"1", ini));
    ASSERT_TRUE(platform.WriteProfileText(L"Zeta", L"Other", L"2", ini));

    const std::string bytes = ReadBytes(ini);
    EXPECT_EQ(bytes.find('\0'), std::string::npos) << "written as UTF-16";
    EXPECT_NE(bytes.substr(0, 2), "\xFF\xFE");
    const std::size_t zeta = bytes.find("[Zeta]");
    ASSERT_NE(zeta, std::string::npos);
    EXPECT_LT(zeta, bytes.find("[Alpha]"));
    EXPECT_EQ(bytes.find("[Zeta]", zeta + 1), std::string::npos);
    EXPECT_NE(bytes.find("Name=" + Encoded(CP_ACP, greeting)), std::string::npos);

    EXPECT_EQ(platform.ReadProfileText(L"Zeta", L"Name", 255, ini), greeting);
    EXPECT_EQ(platform.ReadProfileText(L"Zeta", L"Other", 255, ini), L"2");
}

using WinPlatformFolders = WinPlatformTest;

TEST_F(WinPlatformFolders, ProgramFolderHoldsTheRunningProgram) {
    wchar_t module[MAX_PATH];
    const std::wstring modulePath(module, GetModuleFileNameW(nullptr, module, MAX_PATH));
    EXPECT_EQ(platform.ProgramFolder(), modulePath.substr(0, modulePath.rfind(L'\\')));
    EXPECT_NE(platform.ProgramFolder().back(), L'\\');
}

TEST_F(WinPlatformFolders, ChangesAndReportsTheCurrentDirectory) {
    fs::create_directory(scratch / L"sub");
    ASSERT_TRUE(platform.ChangeDirectory(scratch.Path()));
    EXPECT_EQ(platform.CurrentDirectory(), scratch.Path());
    ASSERT_TRUE(platform.ChangeDirectory(L"sub"));
    EXPECT_EQ(platform.CurrentDirectory(), scratch / L"sub");

    // Under Wine the program folder is on Z: and %TEMP% on C:, so this also changes drive.
    ASSERT_TRUE(platform.ChangeDirectory(platform.ProgramFolder()));
    EXPECT_EQ(platform.CurrentDirectory(), platform.ProgramFolder());
    const std::wstring driveRoot = scratch.Path().substr(0, 3);
    ASSERT_TRUE(platform.ChangeDirectory(driveRoot));
    EXPECT_EQ(platform.CurrentDirectory(), driveRoot);

    EXPECT_FALSE(platform.ChangeDirectory(scratch / L"missing"));
    EXPECT_FALSE(platform.ChangeDirectory(L""));
    EXPECT_EQ(platform.CurrentDirectory(), driveRoot);
}

TEST_F(WinPlatformFolders, MakesOneLevelAndTellsFoldersFromFiles) {
    const std::wstring made = scratch / L"made";
    EXPECT_TRUE(platform.MakeDirectory(made));
    EXPECT_FALSE(platform.MakeDirectory(made));
    EXPECT_FALSE(platform.MakeDirectory(L""));
    EXPECT_FALSE(platform.MakeDirectory(scratch / L"missing\\child"));

    WriteBytes(scratch / L"file.txt", "x");
    EXPECT_TRUE(platform.IsDirectory(made));
    EXPECT_FALSE(platform.IsDirectory(scratch / L"file.txt"));
    EXPECT_FALSE(platform.IsDirectory(scratch / L"missing"));
}

TEST_F(WinPlatformFolders, FullPathIsRelativeToTheCurrentDirectory) {
    ASSERT_TRUE(platform.ChangeDirectory(scratch.Path()));
    EXPECT_EQ(platform.FullPath(L"list.txt"), scratch / L"list.txt");
    EXPECT_EQ(platform.FullPath(L"sub\\..\\list.txt"), scratch / L"list.txt");
}

TEST_F(WinPlatformFolders, FindsOnlyVisibleEntriesOfTheAskedKind) {
    WriteBytes(scratch / L"log.tmp", "x");
    WriteBytes(scratch / L"hidden.tmp", "x");
    WriteBytes(scratch / L"system.tmp", "x");
    ASSERT_TRUE(SetFileAttributesW((scratch / L"hidden.tmp").c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(SetFileAttributesW((scratch / L"system.tmp").c_str(), FILE_ATTRIBUTE_SYSTEM));
    fs::create_directory(scratch / L"dir.tmp");

    EXPECT_EQ(platform.FindFirstName(scratch / L"log.tmp", false), L"log.tmp");
    EXPECT_EQ(platform.FindFirstName(scratch / L"missing.tmp", true), L"");
    EXPECT_EQ(platform.FindFirstName(scratch / L"dir.tmp", false), L"");
    EXPECT_EQ(platform.FindFirstName(scratch / L"dir.tmp", true), L"dir.tmp");
    EXPECT_EQ(platform.FindFirstName(scratch / L"hidden.tmp", true), L"");
    EXPECT_EQ(platform.FindFirstName(scratch / L"system.tmp", true), L"");
    EXPECT_EQ(platform.FindFirstName(scratch / L"*.tmp", false), L"log.tmp");
    EXPECT_EQ(platform.FindFirstName(scratch / L"*e*.tmp", true), L"");  // hidden and system only
    EXPECT_EQ(platform.FindFirstName(scratch.Path() + L"\\", true), L"");
}

TEST_F(WinPlatformFolders, FoldsCaseCharacterByCharacter) {
    EXPECT_EQ(platform.FoldCase(L"abc"), platform.FoldCase(L"ABC"));
    EXPECT_EQ(platform.FoldCase(L"C:\\Donn\u00E9es"), platform.FoldCase(L"c:\\DONN\u00C9ES"));
    EXPECT_EQ(platform.FoldCase(L"\u03A9mega"), platform.FoldCase(L"\u03C9MEGA"));
    // No linguistic "\u00DF" = "SS": file names are compared one character at a time.
    EXPECT_NE(platform.FoldCase(L"Gr\u00FC\u00DFe"), platform.FoldCase(L"GR\u00DCSSE"));
    EXPECT_EQ(platform.FoldCase(L""), L"");
}

TEST_F(WinPlatformFolders, TellsWhichFolderAPathReaches) {
    fs::create_directory(scratch / L"data");
    fs::create_directory(scratch / L"other");
    const std::optional<FileIdentity> data = platform.IdentityOf(scratch / L"data");
    ASSERT_TRUE(data);
    EXPECT_EQ(platform.IdentityOf(scratch / L"DATA\\"), data);
    EXPECT_EQ(platform.IdentityOf(scratch / L"other\\..\\data"), data);
    EXPECT_NE(platform.IdentityOf(scratch / L"other"), data);
    EXPECT_EQ(platform.IdentityOf(scratch / L"missing"), std::nullopt);

    const std::wstring final = platform.FinalPath(scratch / L"DATA");
    EXPECT_EQ(platform.FoldCase(final.substr(final.size() - 5)), L"\\DATA");
    EXPECT_EQ(platform.IdentityOf(final), data);
    EXPECT_EQ(platform.FinalPath(scratch / L"missing"), L"");
}

TEST_F(WinPlatformFolders, ListsEveryFileWhateverItsAttributes) {
    WriteBytes(scratch / L"a.bkl", "x");
    WriteBytes(scratch / L"h.bks", "x");
    ASSERT_TRUE(SetFileAttributesW((scratch / L"h.bks").c_str(),
                                   FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    fs::create_directory(scratch / L"sub.bkl");
    std::vector<std::wstring> names = platform.FileNamesIn(scratch.Path());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"a.bkl", L"h.bks"}));
    EXPECT_TRUE(platform.FileNamesIn(scratch / L"missing").empty());
    SetFileAttributesW((scratch / L"h.bks").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(WinPlatformFolders, TellsTheFreeSpaceOfAFoldersDrive) {
    const std::optional<std::uint64_t> free = platform.FreeBytes(scratch.Path());
    ASSERT_TRUE(free);
    EXPECT_GT(*free, 0u);
    EXPECT_TRUE(platform.FreeBytes(scratch.Path() + L"\\"));
    EXPECT_EQ(platform.FreeBytes(scratch / L"missing"), std::nullopt);
}

using WinPlatformFiles = WinPlatformTest;

TEST_F(WinPlatformFiles, CopiesAsAPlainFileThroughATemporaryNameAndSaysWhyACopyFailed) {
    const std::wstring from = scratch / L"from.bkl";
    const std::wstring temporary = scratch / L"copying.tmp";
    const std::wstring to = scratch / L"to.bkl";
    const std::string content = std::string("log\0data\r\n\xFF", 11) + std::string(600000, 'x');
    WriteBytes(from, content);
    WriteBytes(to, "an older destination");
    FILETIME lastWrite{};
    {
        const UniqueFileHandle file(CreateFileW(from.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        lastWrite.dwHighDateTime = 0x01D00000;  // some day in 2014
        ASSERT_TRUE(SetFileTime(file.Get(), nullptr, nullptr, &lastWrite));
    }
    const DWORD kept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    ASSERT_TRUE(SetFileAttributesW(from.c_str(), kept));
    {
        // The mail client may be writing to its log while it is copied.
        const UniqueFileHandle writer(CreateFileW(from.c_str(), GENERIC_READ,
                                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        EXPECT_EQ(platform.CopyViaTemporary(from, temporary, to), 0u);
    }
    EXPECT_EQ(ReadBytes(to), content);
    EXPECT_FALSE(Exists(temporary));
    EXPECT_EQ(GetFileAttributesW(to.c_str()) & kept, 0u);
    EXPECT_EQ(GetFileAttributesW(from.c_str()) & kept, kept);  // the original is left as it was
    WIN32_FILE_ATTRIBUTE_DATA copied{};
    ASSERT_TRUE(GetFileAttributesExW(to.c_str(), GetFileExInfoStandard, &copied));
    EXPECT_EQ(copied.ftLastWriteTime.dwHighDateTime, lastWrite.dwHighDateTime);
    SetFileAttributesW(from.c_str(), FILE_ATTRIBUTE_NORMAL);

    const std::wstring copy = scratch / L"copy.bkl";
    EXPECT_EQ(platform.CopyViaTemporary(scratch / L"missing.bkl", temporary, copy), 2u);
    EXPECT_EQ(platform.CopyViaTemporary(from, temporary, scratch / L"missing\\copy.bkl"), 3u);
    EXPECT_FALSE(Exists(temporary));
    {
        const UniqueFileHandle held(CreateFileW(from.c_str(), GENERIC_READ, 0, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(held);
        EXPECT_EQ(platform.CopyViaTemporary(from, temporary, copy), 32u);  // ERROR_SHARING_VIOLATION
        EXPECT_FALSE(Exists(copy));
    }
    const std::wstring sharingViolation = platform.ErrorText(32);  // worded differently by Wine
    const std::wstring code = L". (system error 32)";
    ASSERT_GT(sharingViolation.size(), code.size());
    EXPECT_EQ(sharingViolation.substr(sharingViolation.size() - code.size()), code);
    EXPECT_EQ(platform.ErrorText(0x2000FFFF), L"system error 536936447");

    EXPECT_EQ(platform.MoveFileOver(from, to), 0u);  // replaces the copy
    EXPECT_EQ(ReadBytes(to), content);
    EXPECT_FALSE(Exists(from));
    EXPECT_EQ(platform.MoveFileOver(from, to), 2u);
}

TEST_F(WinPlatformFiles, WritesReadsAndAppendsBytes) {
    const std::wstring file = scratch / L"names.txt";
    EXPECT_EQ(platform.ReadFileBytes(file), std::nullopt);
    EXPECT_EQ(platform.FileSize(file), std::nullopt);
    ASSERT_TRUE(platform.WriteFileBytes(file, "a longer first text"));
    ASSERT_TRUE(platform.WriteFileBytes(file, std::string("b\0\xFF", 3)));
    EXPECT_EQ(platform.ReadFileBytes(file), std::string("b\0\xFF", 3));
    EXPECT_FALSE(platform.WriteFileBytes(scratch / L"missing\\x.txt", "x"));

    // Appends land at the end, also while another program has the file open.
    {
        const UniqueFileHandle other(CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE,
                                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(other);
        ASSERT_TRUE(platform.AppendFileBytes(file, "line 1\r\n"));
        ASSERT_TRUE(platform.AppendFileBytes(file, "line 2\r\n"));
        EXPECT_EQ(platform.ReadFileBytes(file), std::nullopt);  // not while someone may write
    }
    EXPECT_EQ(platform.FileSize(file), 19u);
    EXPECT_EQ(platform.ReadFileBytes(file).value_or("").substr(3), "line 1\r\nline 2\r\n");
    ASSERT_TRUE(platform.AppendFileBytes(scratch / L"new.log", "first"));
    EXPECT_EQ(ReadBytes(scratch / L"new.log"), "first");
    EXPECT_EQ(platform.FileSize(scratch.Path()), std::nullopt);  // a folder has no file size
}

TEST_F(WinPlatformFiles, RemovesFilesButNotReadOnlyOnes) {
    const std::wstring plain = scratch / L"plain.txt";
    WriteBytes(plain, "x");
    EXPECT_TRUE(platform.RemoveFile(plain));
    EXPECT_FALSE(Exists(plain));
    EXPECT_TRUE(platform.RemoveFile(plain));
    EXPECT_TRUE(platform.RemoveFile(scratch / L"missing\\plain.txt"));

    const std::wstring readOnly = scratch / L"readonly.txt";
    WriteBytes(readOnly, "x");
    ASSERT_TRUE(SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(platform.RemoveFile(readOnly));
    EXPECT_TRUE(Exists(readOnly));
    SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);  // so the scratch folder can go
}

TEST_F(WinPlatformFiles, WritesOemLinesEndingInCrLf) {
    const std::wstring bat = scratch / L"list.bat";
    ASSERT_EQ(platform.WriteOemTextFile(bat, {L"@echo off", L"", L"dir /b"}),
              TextFileWrite::Written);
    EXPECT_EQ(ReadBytes(bat), "@echo off\r\n\r\ndir /b\r\n");

    // Rewriting a longer file leaves none of it behind.
    ASSERT_EQ(platform.WriteOemTextFile(bat, {L"caf\u00E9"}), TextFileWrite::Written);
    EXPECT_EQ(ReadBytes(bat), "caf" + Encoded(CP_OEMCP, L"\u00E9") + "\r\n");
    if (GetOEMCP() == 437 || GetOEMCP() == 850) {
        EXPECT_EQ(ReadBytes(bat), "caf\x82\r\n");  // not the ANSI 0xE9
    }

    EXPECT_EQ(platform.WriteOemTextFile(scratch / L"missing\\list.bat", {L"x"}),
              TextFileWrite::Failed);
}

TEST_F(WinPlatformFiles, WritesNothingTheOemCodePageCannotHold) {
    const UINT oem = GetOEMCP();
    if (oem == 932 || oem == 936 || oem == 949 || oem == 950) {
        GTEST_SKIP() << "OEM code page " << oem << " holds U+4E00";
    }
    const std::wstring bat = scratch / L"list.bat";
    EXPECT_EQ(platform.WriteOemTextFile(bat, {L"ok", L"\u4E00"}), TextFileWrite::NotRepresentable);
    EXPECT_FALSE(Exists(bat));
    // A best-fit "a" for "ā" would name another folder than the one meant.
    EXPECT_EQ(platform.WriteOemTextFile(bat, {L"\u0101"}), TextFileWrite::NotRepresentable);
}

using WinPlatformProcesses = WinPlatformTest;

constexpr std::uint32_t kAMinute = 60 * 1000;

TEST_F(WinPlatformProcesses, WaitsForTheExitCodeInTheGivenFolder) {
    const ProcessOutcome outcome = platform.RunProcess(L"cmd /c cd> where.txt & exit 3",
                                                       WindowShow::MinimizedInactive,
                                                       scratch.Path(), kAMinute);
    EXPECT_TRUE(outcome.started);
    EXPECT_FALSE(outcome.timedOut);
    EXPECT_EQ(outcome.exitCode, 3u);
    EXPECT_EQ(ReadBytes(scratch / L"where.txt"), Encoded(CP_OEMCP, scratch.Path()) + "\r\n");
}

TEST_F(WinPlatformProcesses, ReportsWhyAMissingProgramDidNotStart) {
    const ProcessOutcome outcome = platform.RunProcess(
        L"no_such_program_xyz", WindowShow::MinimizedInactive, scratch.Path(), kAMinute);
    EXPECT_FALSE(outcome.started);
    EXPECT_EQ(outcome.startError, 2u);  // ERROR_FILE_NOT_FOUND
}

// The program starts its listing batch file this way: bare name, current directory.
TEST_F(WinPlatformProcesses, RunsABatchFileByItsBareName) {
    ASSERT_TRUE(platform.ChangeDirectory(scratch.Path()));
    WriteBytes(scratch / L"t.bat", "@echo off\r\necho done> marker.txt\r\n");
    const ProcessOutcome outcome =
        platform.RunProcess(L"t.bat", WindowShow::MinimizedActive, scratch.Path(), kAMinute);
    ASSERT_TRUE(outcome.started) << "system error " << outcome.startError;
    EXPECT_EQ(ReadBytes(scratch / L"marker.txt"), "done\r\n");
}

TEST_F(WinPlatformProcesses, EndsAProcessThatTakesTooLongWithWhatItStarted) {
    // The inner interpreter would write its file after about three seconds.
    const ProcessOutcome outcome = platform.RunProcess(
        L"cmd /c cmd /c \"ping -n 4 127.0.0.1 >nul & echo late> late.txt\"",
        WindowShow::MinimizedInactive, scratch.Path(), 500);
    EXPECT_TRUE(outcome.started);
    EXPECT_TRUE(outcome.timedOut);
    Sleep(5000);
    EXPECT_FALSE(Exists(scratch / L"late.txt"));
}

TEST(WinPlatformRunLock, OneHolderAtATimeAndADeadHolderBlocksNoOne) {
    WinPlatform platform;
    const std::wstring name = L"Global\\QuarnLogBackup.platform-test";
    const auto stateInAnotherThread = [&] {
        LockAttempt::State state = LockAttempt::State::Failed;
        std::thread([&] { state = platform.LockRun(name).state; }).join();  // dies holding it
        return state;
    };
    {
        const LockAttempt held = platform.LockRun(name);
        ASSERT_EQ(held.state, LockAttempt::State::Held);
        EXPECT_EQ(stateInAnotherThread(), LockAttempt::State::HeldElsewhere);
    }
    EXPECT_EQ(stateInAnotherThread(), LockAttempt::State::Held);
    EXPECT_EQ(platform.LockRun(name).state, LockAttempt::State::Held);  // abandoned, so taken

    // A run of another user holds a lock that this user may not open.
    PSECURITY_DESCRIPTOR denyAll = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(D;;GA;;;WD)", SDDL_REVISION_1,
                                                                     &denyAll, nullptr));
    SECURITY_ATTRIBUTES attributes{sizeof attributes, denyAll, FALSE};
    const UniqueKernelHandle othersLock(
        CreateMutexW(&attributes, TRUE, L"Global\\QuarnLogBackup.platform-test-other"));
    LocalFree(denyAll);
    ASSERT_TRUE(othersLock);
    EXPECT_EQ(platform.LockRun(L"Global\\QuarnLogBackup.platform-test-other").state,
              LockAttempt::State::HeldElsewhere);
}

TEST(WinPlatformSession, KnowsTheTimeAndThatSomeoneSeesTheDesktop) {
    WinPlatform platform;
    EXPECT_TRUE(platform.SomeoneCanSeeBoxes());  // the tests run on the visible station
    const LocalTime now = platform.Now();
    EXPECT_GE(now.year, 2024);
    EXPECT_TRUE(now.month >= 1 && now.month <= 12 && now.day >= 1 && now.day <= 31);
    const std::uint64_t before = platform.Milliseconds();
    Sleep(50);
    EXPECT_GE(platform.Milliseconds() - before, 40u);

    SetEnvironmentVariableW(L"QUARN_PLATFORM_TEST", L"7");
    EXPECT_EQ(platform.EnvironmentVariable(L"QUARN_PLATFORM_TEST"), L"7");
    SetEnvironmentVariableW(L"QUARN_PLATFORM_TEST", nullptr);
    EXPECT_EQ(platform.EnvironmentVariable(L"QUARN_PLATFORM_TEST"), std::nullopt);
}

TEST(WinPlatformEventLog, ReportsUnderASourceThatNoOneRegistered) {
    WinPlatform platform;
    EXPECT_TRUE(platform.ReportToEventLog(L"QuarnLogBackupPlatformTest", EventKind::Warning, 100,
                                          L"platform test: a warning\r\nof two lines"));
    EXPECT_TRUE(platform.ReportToEventLog(L"QuarnLogBackupPlatformTest", EventKind::Error, 109,
                                          L"platform test: an error"));
}

}  // namespace
}  // namespace quarn
