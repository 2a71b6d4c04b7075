#include <string>

#include "platform/WinGrowingBuffer.h"
#include "platform/WinHandles.h"
#include "platform/WinLongPath.h"
#include "platform/WinPlatform.h"

namespace quarn {
namespace {

// Opens a file or folder only to ask which one it is; links are followed.
Result<UniqueFileHandle> OpenForQueries(const std::wstring& path) {
    UniqueFileHandle file(CreateFileW(LongPathForm(path).c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file) return Failed{LastError()};
    return file;
}

std::uint64_t FileTimeValue(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

LocalTime LocalTimeOf(const FILETIME& time) {
    SYSTEMTIME utc{};
    SYSTEMTIME local{};
    if (!FileTimeToSystemTime(&time, &utc) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
        return {};
    }
    return {local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond};
}

}  // namespace

Result<std::wstring> WinPlatform::SystemFolder() {
    return ReadGrowing<std::wstring>([](std::wstring& buffer) {
        return LengthOrNeeded(GetSystemDirectoryW(buffer.data(), static_cast<UINT>(buffer.size())),
                              buffer.size());
    });
}

Result<std::wstring> WinPlatform::ProgramFolder() {
    // GetModuleFileNameW reports no size: a name that filled the buffer may have been cut.
    Result<std::wstring> path = ReadGrowing<std::wstring>([](std::wstring& buffer) {
        const DWORD length =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return FillAnswer{LastError()};
        return FillAnswer{0, length < buffer.size(), length < buffer.size() ? length : buffer.size() * 2};
    });
    if (!path) return path;
    const std::size_t lastSeparator = path->rfind(L'\\');
    if (lastSeparator == std::wstring::npos) return path;
    // "C:" alone would name the drive's current directory, not its root.
    const bool atDriveRoot = lastSeparator == 2 && (*path)[1] == L':';
    return path->substr(0, atDriveRoot ? lastSeparator + 1 : lastSeparator);
}

Status WinPlatform::MakeDirectory(const std::wstring& path) {
    if (CreateDirectoryW(LongPathForm(path).c_str(), nullptr) == FALSE) return Failed{LastError()};
    return {};
}

Result<bool> WinPlatform::IsDirectory(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(LongPathForm(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const std::uint32_t error = LastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return false;
    return Failed{error};
}

Result<std::wstring> WinPlatform::FullPath(const std::wstring& path) { return FullPathName(path); }

Result<std::wstring> WinPlatform::FinalPath(const std::wstring& path) {
    const Result<UniqueFileHandle> file = OpenForQueries(path);
    if (!file) return Failed{file.Error()};
    return ReadGrowing<std::wstring>([&](std::wstring& buffer) {
        return LengthOrNeeded(GetFinalPathNameByHandleW(file->Get(), buffer.data(),
                                                        static_cast<DWORD>(buffer.size()),
                                                        FILE_NAME_NORMALIZED),
                              buffer.size());
    });
}

Result<FileIdentity> WinPlatform::IdentityOf(const std::wstring& path) {
    const Result<UniqueFileHandle> file = OpenForQueries(path);
    if (!file) return Failed{file.Error()};
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(file->Get(), &information)) return Failed{LastError()};
    return FileIdentity{information.dwVolumeSerialNumber,
                        (static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) |
                            information.nFileIndexLow};
}

Result<std::wstring> WinPlatform::FindFirstName(const std::wstring& pattern,
                                                bool includeDirectories) {
    WIN32_FIND_DATAW entry{};
    const UniqueFindHandle find(FindFirstFileW(LongPathForm(pattern).c_str(), &entry));
    if (!find) return Failed{LastError()};
    DWORD excluded = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    if (!includeDirectories) excluded |= FILE_ATTRIBUTE_DIRECTORY;
    do {
        if ((entry.dwFileAttributes & excluded) == 0) return std::wstring(entry.cFileName);
    } while (FindNextFileW(find.Get(), &entry) != FALSE);
    const std::uint32_t error = LastError();
    return Failed{error == ERROR_NO_MORE_FILES ? win32::kFileNotFound : error};
}

Result<std::vector<FolderEntry>> WinPlatform::FolderEntries(const std::wstring& folder) {
    std::vector<FolderEntry> entries;
    WIN32_FIND_DATAW found{};
    const UniqueFindHandle find(FindFirstFileExW(LongPathForm(folder + L"\\*").c_str(),
                                                 FindExInfoBasic, &found, FindExSearchNameMatch,
                                                 nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!find) {
        // A drive's root has no "." entry: an empty one finds nothing.
        const std::uint32_t error = LastError();
        if (error == ERROR_FILE_NOT_FOUND) return entries;
        return Failed{error};
    }
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        entries.push_back({name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                           FileTimeValue(found.ftLastWriteTime), LocalTimeOf(found.ftLastWriteTime)});
    } while (FindNextFileW(find.Get(), &found) != FALSE);
    // A listing cut short by an error is no listing.
    const std::uint32_t error = LastError();
    if (error != ERROR_NO_MORE_FILES) return Failed{error};
    return entries;
}

std::wstring WinPlatform::FoldCase(const std::wstring& text) {
    if (text.empty()) return text;
    // Upper case of the invariant locale: the simple one-to-one mapping that
    // file names are compared by. It fails only for arguments it cannot take,
    // which these are not.
    std::wstring folded(text.size(), L'\0');
    const int length = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text.data(),
                                     static_cast<int>(text.size()), folded.data(),
                                     static_cast<int>(folded.size()), nullptr, nullptr, 0);
    return length == static_cast<int>(text.size()) ? folded : text;
}

Result<std::uint64_t> WinPlatform::FreeBytes(const std::wstring& folder) {
    // A share's name must end in a separator; a folder's may.
    const bool endsInSeparator = !folder.empty() && folder.back() == L'\\';
    const std::wstring directory = endsInSeparator ? folder : folder + L"\\";
    ULARGE_INTEGER available{};
    if (!GetDiskFreeSpaceExW(directory.c_str(), &available, nullptr, nullptr)) {
        return Failed{LastError()};
    }
    return static_cast<std::uint64_t>(available.QuadPart);
}

}  // namespace quarn
