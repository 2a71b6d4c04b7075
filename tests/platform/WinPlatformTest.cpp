// WinPlatform against the real Windows functions (run under Wine on the build machine).
#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "common/Crc32.h"
#include "platform/WinHandles.h"
#include "platform/WinLongPath.h"
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

// Removes a folder with everything in it, read-only entries and paths deeper than
// MAX_PATH too (give it the long form). A link is removed, never followed.
void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW entry{};
    {
        const UniqueFindHandle find(FindFirstFileW((folder + L"\\*").c_str(), &entry));
        for (bool more = find.Valid(); more; more = FindNextFileW(find.Get(), &entry) != FALSE) {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + L"\\" + name;
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
                if (RemoveDirectoryW(path.c_str()) == FALSE) DeleteFileW(path.c_str());
            } else if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                RemoveTree(path);
            } else {
                DeleteFileW(path.c_str());
            }
        }
    }
    RemoveDirectoryW(folder.c_str());
}

// A fresh folder under %TEMP%, removed with its contents at the end. Named by
// process and time, since Wine reuses process ids.
class ScratchFolder {
public:
    ScratchFolder() {
        wchar_t temp[MAX_PATH + 1];
        const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
        path_ = std::wstring(temp, length) + L"QuarnPlatformTest" +
                std::to_wstring(GetCurrentProcessId()) + L"." + std::to_wstring(GetTickCount64());
        fs::create_directory(path_);
    }
    ~ScratchFolder() { RemoveTree(L"\\\\?\\" + path_); }
    const std::wstring& Path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
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
        Result<std::unique_ptr<RegistryKey>> opened = platform.OpenCurrentUserKey(kTestKey, KEY_READ);
        ASSERT_TRUE(opened);
        key = std::move(opened).Value();
    }
    void TearDown() override {
        key.reset();
        RegDeleteTreeW(HKEY_CURRENT_USER, kTestRoot);
    }

    WinPlatform platform;
    std::unique_ptr<RegistryKey> key;
};

TEST_F(WinPlatformRegistry, ReadsAValueWholeWithItsType) {
    const Result<RegistryKey::Value> text = key->QueryValue(L"DataDir");
    ASSERT_TRUE(text);
    EXPECT_EQ(text->type, 1u);  // REG_SZ
    ASSERT_EQ(text->data.size(), kDataDirBytes);
    EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(text->data.data()), kDataDirBytes / 2),
              kDataDir + L'\0');

    const Result<RegistryKey::Value> count = key->QueryValue(L"Count");
    ASSERT_TRUE(count);
    EXPECT_EQ(count->type, 4u);  // REG_DWORD
    EXPECT_EQ(count->data, (std::vector<std::uint8_t>{42, 0, 0, 0}));
}

TEST_F(WinPlatformRegistry, ReadsAValueLongerThanItsFirstBufferAndReportsWhatIsMissing) {
    // Longer than the first buffer the read tries.
    const std::wstring longText(3000, L'x');
    HKEY written = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kTestKey, 0, KEY_SET_VALUE, &written), ERROR_SUCCESS);
    const UniqueRegistryKey writtenKey(written);
    RegSetValueExW(writtenKey.Get(), L"Long", 0, REG_SZ, reinterpret_cast<const BYTE*>(longText.c_str()),
                   static_cast<DWORD>((longText.size() + 1) * sizeof(wchar_t)));
    const Result<RegistryKey::Value> value = key->QueryValue(L"Long");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->data.size(), (longText.size() + 1) * sizeof(wchar_t));

    EXPECT_EQ(platform.OpenCurrentUserKey(std::wstring(kTestRoot) + L"\\NoSuchKey", KEY_READ).Error(),
              2u);  // ERROR_FILE_NOT_FOUND
    EXPECT_EQ(key->QueryValue(L"NoSuchValue").Error(), 2u);
}

TEST(WinPlatformEnvironment, ExpandsKnownVariablesOnly) {
    WinPlatform platform;
    wchar_t temp[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"TEMP", temp, MAX_PATH);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(*platform.ExpandEnvironment(L"%TEMP%\\Quarn"),
              std::wstring(temp, length) + L"\\Quarn");
    EXPECT_EQ(*platform.ExpandEnvironment(L"%NO_SUCH_VAR_X%\\y"), L"%NO_SUCH_VAR_X%\\y");

    // Longer than MAX_PATH: the first buffer is too small.
    const std::wstring longValue(400, L'x');
    SetEnvironmentVariableW(L"QUARN_LONG_TEST", longValue.c_str());
    EXPECT_EQ(*platform.ExpandEnvironment(L"%QUARN_LONG_TEST%!"), longValue + L"!");
    EXPECT_EQ(*platform.EnvironmentVariable(L"QUARN_LONG_TEST"), longValue);
    SetEnvironmentVariableW(L"QUARN_LONG_TEST", L"");
    EXPECT_EQ(*platform.EnvironmentVariable(L"QUARN_LONG_TEST"), L"");  // set, but empty
    SetEnvironmentVariableW(L"QUARN_LONG_TEST", nullptr);
    EXPECT_EQ(platform.EnvironmentVariable(L"QUARN_LONG_TEST").Error(), 203u);  // not set
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
    EXPECT_EQ(*platform.ProgramFolder(), modulePath.substr(0, modulePath.rfind(L'\\')));
    EXPECT_NE(platform.ProgramFolder()->back(), L'\\');
}

TEST_F(WinPlatformFolders, MakesOneLevelAndTellsFoldersFromFiles) {
    const std::wstring made = scratch / L"made";
    EXPECT_TRUE(platform.MakeDirectory(made));
    EXPECT_EQ(platform.MakeDirectory(made).Error(), 183u);  // ERROR_ALREADY_EXISTS
    EXPECT_EQ(platform.MakeDirectory(scratch / L"missing\\child").Error(), 3u);

    WriteBytes(scratch / L"file.txt", "x");
    EXPECT_TRUE(*platform.IsDirectory(made));
    EXPECT_FALSE(*platform.IsDirectory(scratch / L"file.txt"));
    EXPECT_FALSE(*platform.IsDirectory(scratch / L"missing"));  // not there: no failure
    EXPECT_FALSE(*platform.IsDirectory(scratch / L"missing\\deeper"));
}

TEST_F(WinPlatformFolders, FullPathResolvesDotsAndSlashesOfAFullPath) {
    EXPECT_EQ(*platform.FullPath(scratch / L"sub\\..\\list.txt"), scratch / L"list.txt");
    std::wstring slashes = scratch / L"sub/list.txt";
    EXPECT_EQ(*platform.FullPath(slashes), scratch / L"sub\\list.txt");
    // Longer than the first buffer that the call is given.
    const std::wstring deep = scratch / std::wstring(200, L'd') + L"\\" + std::wstring(200, L'e');
    EXPECT_EQ(*platform.FullPath(deep + L"\\.\\x"), deep + L"\\x");
}

TEST_F(WinPlatformFolders, FindsOnlyVisibleEntriesOfTheAskedKind) {
    WriteBytes(scratch / L"log.tmp", "x");
    WriteBytes(scratch / L"hidden.tmp", "x");
    WriteBytes(scratch / L"system.tmp", "x");
    ASSERT_TRUE(SetFileAttributesW((scratch / L"hidden.tmp").c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(SetFileAttributesW((scratch / L"system.tmp").c_str(), FILE_ATTRIBUTE_SYSTEM));
    fs::create_directory(scratch / L"dir.tmp");

    EXPECT_EQ(*platform.FindFirstName(scratch / L"log.tmp", false), L"log.tmp");
    EXPECT_EQ(platform.FindFirstName(scratch / L"missing.tmp", true).Error(), 2u);
    EXPECT_EQ(platform.FindFirstName(scratch / L"dir.tmp", false).Error(), 2u);
    EXPECT_EQ(*platform.FindFirstName(scratch / L"dir.tmp", true), L"dir.tmp");
    EXPECT_EQ(platform.FindFirstName(scratch / L"hidden.tmp", true).Error(), 2u);
    EXPECT_EQ(platform.FindFirstName(scratch / L"system.tmp", true).Error(), 2u);
    EXPECT_EQ(*platform.FindFirstName(scratch / L"*.tmp", false), L"log.tmp");
    EXPECT_EQ(platform.FindFirstName(scratch / L"*e*.tmp", true).Error(), 2u);  // hidden and system only
    EXPECT_FALSE(platform.FindFirstName(scratch.Path() + L"\\", true));
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
    const Result<FileIdentity> data = platform.IdentityOf(scratch / L"data");
    ASSERT_TRUE(data);
    EXPECT_EQ(*platform.IdentityOf(scratch / L"DATA\\"), *data);
    EXPECT_EQ(*platform.IdentityOf(scratch / L"other\\..\\data"), *data);
    EXPECT_NE(*platform.IdentityOf(scratch / L"other"), *data);
    EXPECT_EQ(platform.IdentityOf(scratch / L"missing").Error(), 2u);

    const std::wstring final = *platform.FinalPath(scratch / L"DATA");
    EXPECT_EQ(platform.FoldCase(final.substr(final.size() - 5)), L"\\DATA");
    EXPECT_EQ(*platform.IdentityOf(final), *data);
    EXPECT_EQ(platform.FinalPath(scratch / L"missing").Error(), 2u);
}

TEST_F(WinPlatformFolders, ListsEveryEntryWhateverItsAttributesWithItsWriteTime) {
    WriteBytes(scratch / L"a.bkl", "x");
    WriteBytes(scratch / L"h.bks", "x");
    ASSERT_TRUE(SetFileAttributesW((scratch / L"h.bks").c_str(),
                                   FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    fs::create_directory(scratch / L"sub.bkl");
    const UniqueFileHandle older(CreateFileW((scratch / L"a.bkl").c_str(), FILE_WRITE_ATTRIBUTES, 0,
                                             nullptr, OPEN_EXISTING, 0, nullptr));
    const FILETIME december2026 = {0x51BF2000, 0x01DD8579};  // 2026-12-06 12:00 UTC
    ASSERT_TRUE(SetFileTime(older.Get(), nullptr, nullptr, &december2026));

    std::vector<FolderEntry> entries = *platform.FolderEntries(scratch.Path());
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].name, L"a.bkl");
    EXPECT_EQ(entries[1].name, L"h.bks");
    EXPECT_EQ(entries[2].name, L"sub.bkl");
    EXPECT_FALSE(entries[0].isFolder);
    EXPECT_TRUE(entries[2].isFolder);
    EXPECT_EQ(entries[0].lastWrite, 0x01DD857951BF2000ULL);
    EXPECT_LT(entries[0].lastWrite, entries[1].lastWrite);
    EXPECT_EQ(entries[0].lastWriteLocal.year, 2026);
    EXPECT_EQ(entries[0].lastWriteLocal.month, 12);
    EXPECT_EQ(entries[0].lastWriteLocal.day, 6);
    EXPECT_EQ(platform.FolderEntries(scratch / L"missing").Error(), 3u);  // no empty list
    SetFileAttributesW((scratch / L"h.bks").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(WinPlatformFolders, TellsTheFreeSpaceOfAFoldersDrive) {
    const Result<std::uint64_t> free = platform.FreeBytes(scratch.Path());
    ASSERT_TRUE(free);
    EXPECT_GT(*free, 0u);
    EXPECT_TRUE(platform.FreeBytes(scratch.Path() + L"\\"));
    EXPECT_FALSE(platform.FreeBytes(scratch / L"missing"));
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
        // The CRC-32 of a prefix that ends inside the copy's second buffer.
        const Result<CopiedFile> copied = platform.CopyViaTemporary(from, temporary, to, 300000);
        ASSERT_TRUE(copied);
        // What the records keep: the same stamp as the one look a later run takes.
        EXPECT_EQ(copied->source.size, content.size());
        EXPECT_EQ(copied->source.lastWrite >> 32, lastWrite.dwHighDateTime);
        EXPECT_EQ(*platform.StampOf(from), copied->source);
        EXPECT_EQ(copied->content.size, content.size());
        EXPECT_EQ(copied->content.crc, Crc32(0, content.data(), content.size()));
        EXPECT_EQ(copied->content.prefixCrc, Crc32(0, content.data(), 300000));
        // The same, read in place; a prefix longer than the content has no CRC.
        const Result<ContentCheck> checked = platform.CheckContent(from, content.size() + 1);
        ASSERT_TRUE(checked);
        EXPECT_EQ(checked->crc, copied->content.crc);
        EXPECT_FALSE(checked->prefixCrc);
    }
    EXPECT_EQ(platform.StampOf(scratch.Path()).Error(), 5u);  // a folder has no stamp
    EXPECT_EQ(ReadBytes(to), content);
    EXPECT_FALSE(Exists(temporary));
    EXPECT_EQ(GetFileAttributesW(to.c_str()) & kept, 0u);
    EXPECT_EQ(GetFileAttributesW(from.c_str()) & kept, kept);  // the original is left as it was
    WIN32_FILE_ATTRIBUTE_DATA copied{};
    ASSERT_TRUE(GetFileAttributesExW(to.c_str(), GetFileExInfoStandard, &copied));
    EXPECT_EQ(copied.ftLastWriteTime.dwHighDateTime, lastWrite.dwHighDateTime);
    SetFileAttributesW(from.c_str(), FILE_ATTRIBUTE_NORMAL);

    const std::wstring copy = scratch / L"copy.bkl";
    EXPECT_EQ(platform.CopyViaTemporary(scratch / L"missing.bkl", temporary, copy, {}).Error(), 2u);
    EXPECT_EQ(platform.CopyViaTemporary(from, temporary, scratch / L"missing\\copy.bkl", {}).Error(), 3u);
    EXPECT_EQ(platform.CheckContent(scratch / L"missing.bkl", {}).Error(), 2u);
    EXPECT_FALSE(Exists(temporary));
    {
        const UniqueFileHandle held(CreateFileW(from.c_str(), GENERIC_READ, 0, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(held);
        EXPECT_EQ(platform.CopyViaTemporary(from, temporary, copy, {}).Error(), 32u);  // ERROR_SHARING_VIOLATION
        EXPECT_FALSE(Exists(copy));
    }
    const std::wstring sharingViolation = platform.ErrorText(32);  // worded differently by Wine
    const std::wstring code = L". (system error 32)";
    ASSERT_GT(sharingViolation.size(), code.size());
    EXPECT_EQ(sharingViolation.substr(sharingViolation.size() - code.size()), code);
    EXPECT_EQ(platform.ErrorText(0x2000FFFF), L"system error 536936447");

    EXPECT_TRUE(platform.MoveFileOver(from, to));  // replaces the copy
    EXPECT_EQ(ReadBytes(to), content);
    EXPECT_FALSE(Exists(from));
    EXPECT_EQ(platform.MoveFileOver(from, to).Error(), 2u);
}

TEST_F(WinPlatformFiles, WritesReadsAndAppendsBytes) {
    const std::wstring file = scratch / L"names.txt";
    EXPECT_EQ(platform.ReadFileBytes(file).Error(), 2u);
    EXPECT_EQ(platform.StampOf(file).Error(), 2u);
    ASSERT_TRUE(platform.WriteFileBytes(file, "a longer first text"));
    ASSERT_TRUE(platform.WriteFileBytes(file, std::string("b\0\xFF", 3)));
    EXPECT_EQ(*platform.ReadFileBytes(file), std::string("b\0\xFF", 3));
    EXPECT_EQ(platform.WriteFileBytes(scratch / L"missing\\x.txt", "x").Error(), 3u);

    // Appends land at the end, also while another program has the file open.
    {
        const UniqueFileHandle other(CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE,
                                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(other);
        ASSERT_TRUE(platform.AppendFileBytes(file, "line 1\r\n"));
        ASSERT_TRUE(platform.AppendFileBytes(file, "line 2\r\n"));
        EXPECT_EQ(platform.ReadFileBytes(file).Error(), 32u);  // not while someone may write
    }
    EXPECT_EQ(platform.StampOf(file)->size, 19u);
    EXPECT_EQ(platform.ReadFileBytes(file)->substr(3), "line 1\r\nline 2\r\n");
    ASSERT_TRUE(platform.AppendFileBytes(scratch / L"new.log", "first"));
    EXPECT_EQ(ReadBytes(scratch / L"new.log"), "first");

    // Rewritten with the same size and its write time put back: its change time moves,
    // once the file system's clock has moved on.
    const FileStamp before = *platform.StampOf(file);
    FileStamp after = before;
    for (int tries = 0; tries < 100000 && after.changeTime == before.changeTime; ++tries) {
        const UniqueFileHandle rewriter(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr,
                                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(rewriter);
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(rewriter.Get(), "L", 1, &written, nullptr));
        FILETIME lastWrite{static_cast<DWORD>(before.lastWrite), static_cast<DWORD>(before.lastWrite >> 32)};
        ASSERT_TRUE(SetFileTime(rewriter.Get(), nullptr, nullptr, &lastWrite));
        after = *platform.StampOf(file);
    }
    EXPECT_EQ(after.size, before.size);
    EXPECT_EQ(after.lastWrite, before.lastWrite);
    EXPECT_NE(after.changeTime, before.changeTime);
}

TEST_F(WinPlatformFiles, ReadsAFileWhereItIsWantedWhileOthersHaveItOpen) {
    const std::wstring file = scratch / L"archive.rar";
    EXPECT_EQ(platform.OpenForReading(file).Error(), 2u);
    ASSERT_TRUE(platform.WriteFileBytes(file, "0123456789"));
    const UniqueFileHandle writer(CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(writer);
    Result<std::unique_ptr<ReadableFile>> opened = platform.OpenForReading(file);
    ASSERT_TRUE(opened);
    ReadableFile& reading = **opened;
    EXPECT_EQ(*reading.Size(), 10u);
    std::uint8_t bytes[8] = {};
    EXPECT_EQ(*reading.ReadAt(6, bytes, 8), 4u);  // fewer only at the end
    EXPECT_EQ(std::string(bytes, bytes + 4), "6789");
    EXPECT_EQ(*reading.ReadAt(2, bytes, 3), 3u);  // any offset, in any order
    EXPECT_EQ(std::string(bytes, bytes + 3), "234");
    EXPECT_EQ(*reading.ReadAt(10, bytes, 8), 0u);
    EXPECT_EQ(*reading.ReadAt(1000, bytes, 8), 0u);
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
    EXPECT_EQ(platform.RemoveFile(readOnly).Error(), 5u);
    EXPECT_TRUE(Exists(readOnly));
    SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);  // so the scratch folder can go
}

TEST_F(WinPlatformFiles, PathsTooLongForThePlainFormReachWindowsInTheLongForm) {
    const std::wstring deep(150, L'd');
    EXPECT_EQ(LongPathForm(L"C:\\short\\x.bkl"), L"C:\\short\\x.bkl");
    EXPECT_EQ(LongPathForm(L"x.bkl"), L"x.bkl");
    EXPECT_EQ(LongPathForm(L"C:/" + deep + L"/" + deep + L"/x.bkl"),
              L"\\\\?\\C:\\" + deep + L"\\" + deep + L"\\x.bkl");
    EXPECT_EQ(LongPathForm(L"\\\\server\\share\\" + deep + L"\\" + deep + L"\\sub\\..\\x.bkl"),
              L"\\\\?\\UNC\\server\\share\\" + deep + L"\\" + deep + L"\\x.bkl");
    EXPECT_EQ(LongPathForm(L"\\\\?\\C:\\" + deep + L"\\..\\" + deep),
              L"\\\\?\\C:\\" + deep + L"\\..\\" + deep);  // taken as it is

    // Every file call of the run, on a log some 350 characters deep.
    const std::wstring folder = scratch / deep + L"\\" + deep;
    const std::wstring log = folder + L"\\in.bkl";
    ASSERT_TRUE(platform.MakeDirectory(scratch / deep));
    ASSERT_TRUE(platform.MakeDirectory(folder));
    EXPECT_TRUE(*platform.IsDirectory(folder));
    ASSERT_TRUE(platform.WriteFileBytes(log, "deep"));
    EXPECT_TRUE(platform.AppendFileBytes(log, " log"));
    EXPECT_EQ(*platform.FindFirstName(folder + L"\\*.bkl", false), L"in.bkl");
    ASSERT_EQ(platform.FolderEntries(folder)->size(), 1u);
    EXPECT_EQ(platform.FolderEntries(folder)->front().name, L"in.bkl");
    EXPECT_TRUE(platform.IdentityOf(log));
    EXPECT_TRUE(platform.CopyViaTemporary(log, folder + L"\\copying.tmp", folder + L"\\copy.bkl", 4));
    EXPECT_EQ(platform.CheckContent(log, 4)->prefixCrc, Crc32(0, "deep", 4));
    EXPECT_EQ(platform.StampOf(log)->size, 8u);
    EXPECT_EQ(*platform.ReadFileBytes(folder + L"\\copy.bkl"), "deep log");
    EXPECT_TRUE(platform.MoveFileOver(folder + L"\\copy.bkl", log));
    EXPECT_TRUE(platform.RemoveFile(log));
    EXPECT_TRUE(platform.FolderEntries(folder)->empty());
}

using WinPlatformProcesses = WinPlatformTest;

constexpr std::uint32_t kAMinute = 60 * 1000;

TEST_F(WinPlatformProcesses, WaitsForTheExitCodeInTheGivenFolder) {
    const Result<ProcessEnd> end = platform.RunProcess(L"cmd /c cd> where.txt & exit 3",
                                                       WindowShow::MinimizedInactive,
                                                       scratch.Path(), {}, {}, kAMinute);
    ASSERT_TRUE(end);
    EXPECT_FALSE(end->timedOut);
    EXPECT_EQ(end->exitCode, 3u);
    EXPECT_EQ(end->leftRunning, 0u);

    // Its output written straight to a file, made anew.
    WriteBytes(scratch / L"out.txt", "an older, longer text");
    const Result<ProcessEnd> written = platform.RunProcess(
        L"cmd /c echo written", WindowShow::MinimizedInactive, scratch.Path(), {}, scratch / L"out.txt",
        kAMinute);
    ASSERT_TRUE(written);
    EXPECT_EQ(ReadBytes(scratch / L"out.txt"), "written\r\n");
    EXPECT_EQ(platform.RunProcess(L"cmd /c echo x", WindowShow::MinimizedInactive, scratch.Path(), {},
                                  scratch / L"missing\\out.txt", kAMinute)
                  .Error(),
              3u);
    EXPECT_EQ(ReadBytes(scratch / L"where.txt"), Encoded(CP_OEMCP, scratch.Path()) + "\r\n");
}

TEST_F(WinPlatformProcesses, ReportsWhyAMissingProgramDidNotStart) {
    const Result<ProcessEnd> end = platform.RunProcess(
        L"no_such_program_xyz", WindowShow::MinimizedInactive, scratch.Path(), {}, {}, kAMinute);
    EXPECT_EQ(end.Error(), 2u);  // ERROR_FILE_NOT_FOUND
}

// The program starts its listing batch file this way: bare name, found in the
// folder the child runs in, with variables of its own that the program does not get.
TEST_F(WinPlatformProcesses, RunsABatchFileByItsBareNameWithItsOwnVariables) {
    WriteBytes(scratch / L"t.bat", "@echo off\r\necho \"%QUARN_CHILD%\"[%DIRCMD%]> marker.txt\r\n");
    SetEnvironmentVariableW(L"DIRCMD", L"/p");
    const Result<ProcessEnd> end =
        platform.RunProcess(L"cmd /d /c t.bat", WindowShow::MinimizedActive, scratch.Path(),
                            {{L"quarn_child", L"7 & 8"}, {L"DIRCMD", std::nullopt}}, {}, kAMinute);
    ASSERT_TRUE(end) << platform.ErrorText(end.Error()).c_str();
    EXPECT_EQ(ReadBytes(scratch / L"marker.txt"), "\"7 & 8\"[]\r\n");
    EXPECT_EQ(*platform.EnvironmentVariable(L"DIRCMD"), L"/p");
    EXPECT_FALSE(platform.EnvironmentVariable(L"QUARN_CHILD"));
    SetEnvironmentVariableW(L"DIRCMD", nullptr);
}

// The Unix path of a fixture program, as Wine's drive Z: shows it.
std::wstring FixtureProgram(const char* variable) {
    const char* unixPath = std::getenv(variable);
    std::wstring path = L"Z:";
    for (const char* c = unixPath ? unixPath : ""; *c != '\0'; ++c) {
        path += *c == '/' ? L'\\' : static_cast<wchar_t>(*c);
    }
    return path;
}

// True once no process holds the file open.
bool Released(const std::wstring& path) {
    return UniqueFileHandle(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr))
        .Valid();
}

TEST_F(WinPlatformProcesses, EndsAProcessThatTakesTooLongWithWhatItStarted) {
    // The grandchild holds a file for ten minutes and says so once it does; the
    // bound leaves it ample time to start on a busy machine.
    const std::wstring holdFile = L"\"" + FixtureProgram("QUARN_HOLDFILE") + L"\"";
    WriteBytes(scratch / L"held.txt", "");
    const Result<ProcessEnd> end = platform.RunProcess(
        L"cmd /c cmd /c \"" + holdFile + L" held.txt 600 > started.txt\"",
        WindowShow::MinimizedInactive, scratch.Path(), {}, {}, 20 * 1000);
    ASSERT_TRUE(end);
    EXPECT_TRUE(end->timedOut);
    EXPECT_EQ(end->leftRunning, 0u);
    ASSERT_EQ(ReadBytes(scratch / L"started.txt"), "held\r\n");
    EXPECT_TRUE(Released(scratch / L"held.txt")) << "the grandchild still runs";

    // What a step leaves running when it ends goes with it too.
    WriteBytes(scratch / L"left.txt", "");
    WriteBytes(scratch / L"leaves.bat",
               "@echo off\r\nstart \"\" /b " + Encoded(CP_OEMCP, holdFile) +
                   " left.txt 600 > left.started\r\n"
                   ":wait\r\nfor %%F in (left.started) do if %%~zF==0 goto wait\r\n");
    const Result<ProcessEnd> ended = platform.RunProcess(
        L"cmd /c leaves.bat", WindowShow::MinimizedInactive, scratch.Path(), {}, {}, kAMinute);
    ASSERT_TRUE(ended);
    EXPECT_FALSE(ended->timedOut);
    EXPECT_EQ(ended->leftRunning, 0u);
    ASSERT_EQ(ReadBytes(scratch / L"left.started"), "held\r\n");
    EXPECT_TRUE(Released(scratch / L"left.txt")) << "what the step left running still runs";
}

TEST_F(WinPlatformProcesses, AParentKilledBeforeItsChildRunsLeavesNoChild) {
    const std::wstring pidFile = scratch / L"child.pid";
    std::wstring commandLine = L"\"" + FixtureProgram("QUARN_PAUSEDPARENT") + L"\" \"" + pidFile + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION created{};
    ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &created));
    const UniqueKernelHandle parent(created.hProcess);
    const UniqueKernelHandle parentThread(created.hThread);
    DWORD childId = 0;
    for (int waited = 0; waited < 1200 && childId == 0; ++waited) {  // a minute at most
        ASSERT_EQ(WaitForSingleObject(parent.Get(), 50), static_cast<DWORD>(WAIT_TIMEOUT))
            << "the parent ended early";
        childId = static_cast<DWORD>(std::atol(ReadBytes(pidFile).c_str()));
    }
    ASSERT_NE(childId, 0u);
    const UniqueKernelHandle child(OpenProcess(SYNCHRONIZE, FALSE, childId));
    ASSERT_TRUE(child);

    TerminateProcess(parent.Get(), 1);  // as Task Scheduler ends a task
    EXPECT_EQ(WaitForSingleObject(child.Get(), kAMinute), static_cast<DWORD>(WAIT_OBJECT_0))
        << "the suspended child outlived its parent";
}

TEST(WinPlatformRunLock, OneHolderAtATimeAndADeadHolderBlocksNoOne) {
    WinPlatform platform;
    const std::wstring name = L"Global\\QuarnLogBackup.platform-test";
    const auto errorInAnotherThread = [&] {
        std::uint32_t error = 1;
        std::thread([&] { error = platform.LockRun(name).Error(); }).join();
        return error;
    };
    {
        const Result<std::unique_ptr<RunLock>> held = platform.LockRun(name);
        ASSERT_TRUE(held);
        EXPECT_TRUE(HeldElsewhere(errorInAnotherThread()));
    }
    EXPECT_EQ(errorInAnotherThread(), 0u);

    // A run that dies holding the lock leaves it abandoned; the next run takes it.
    std::unique_ptr<RunLock> keptByTheDead;
    std::thread([&] {
        Result<std::unique_ptr<RunLock>> attempt = platform.LockRun(name);
        ASSERT_TRUE(attempt);
        keptByTheDead = std::move(attempt).Value();  // not released: the thread ends holding it
    }).join();
    ASSERT_TRUE(keptByTheDead);
    EXPECT_TRUE(platform.LockRun(name));

    // A run of another user holds a lock that this user may not open.
    PSECURITY_DESCRIPTOR denyAll = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(D;;GA;;;WD)", SDDL_REVISION_1,
                                                                     &denyAll, nullptr));
    SECURITY_ATTRIBUTES attributes{sizeof attributes, denyAll, FALSE};
    const UniqueKernelHandle othersLock(
        CreateMutexW(&attributes, TRUE, L"Global\\QuarnLogBackup.platform-test-other"));
    LocalFree(denyAll);
    ASSERT_TRUE(othersLock);
    EXPECT_TRUE(HeldElsewhere(platform.LockRun(L"Global\\QuarnLogBackup.platform-test-other").Error()));
}

TEST_F(WinPlatformTest, AFileLockHasOneHolderUntilItsHandleCloses) {
    const std::wstring path = scratch / L"x.rar.lock";
    {
        const Result<std::unique_ptr<RunLock>> held = platform.LockFile(path);
        ASSERT_TRUE(held);
        EXPECT_TRUE(Exists(path));
        EXPECT_EQ(platform.LockFile(path).Error(), static_cast<std::uint32_t>(ERROR_SHARING_VIOLATION));
        EXPECT_FALSE(platform.ReadFileBytes(path));  // no one else opens it at all
    }
    EXPECT_TRUE(platform.LockFile(path));
    const std::uint32_t missingFolder = platform.LockFile(scratch / L"missing\\x.lock").Error();
    EXPECT_EQ(missingFolder, 3u);
    EXPECT_FALSE(HeldElsewhere(missingFolder));
}

TEST(WinPlatformSession, KnowsTheTimeAndThatSomeoneSeesTheDesktop) {
    WinPlatform platform;
    EXPECT_TRUE(platform.SomeoneCanSeeBoxes());  // the tests run on the visible station
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = ARRAYSIZE(name);
    ASSERT_TRUE(GetComputerNameW(name, &length));
    EXPECT_EQ(platform.FoldCase(*platform.ComputerName()), platform.FoldCase(name));
    const LocalTime now = platform.Now();
    EXPECT_GE(now.year, 2024);
    EXPECT_TRUE(now.month >= 1 && now.month <= 12 && now.day >= 1 && now.day <= 31);
    const std::uint64_t before = platform.Milliseconds();
    Sleep(50);
    EXPECT_GT(platform.Milliseconds(), before);

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
