#include <string>

#include "platform/WinHandles.h"
#include "platform/WinLongPath.h"
#include "platform/WinPlatform.h"

namespace quarn {
namespace {

// Opens a file or folder only to ask which one it is; links are followed.
UniqueFileHandle OpenForQueries(const std::wstring& path) {
    return UniqueFileHandle(CreateFileW(LongPathForm(path).c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                        nullptr));
}

}  // namespace

std::wstring WinPlatform::ProgramFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);  // truncated: long-path installs
    }
    const std::size_t lastSeparator = path.rfind(L'\\');
    if (lastSeparator == std::wstring::npos) return path;
    // "C:" alone would name the drive's current directory, not its root.
    const bool atDriveRoot = lastSeparator == 2 && path[1] == L':';
    return path.substr(0, atDriveRoot ? lastSeparator + 1 : lastSeparator);
}

std::wstring WinPlatform::CurrentDirectory() {
    const DWORD needed = GetCurrentDirectoryW(0, nullptr);
    std::wstring directory(needed, L'\0');
    const DWORD length = GetCurrentDirectoryW(needed, directory.data());
    directory.resize(length < needed ? length : 0);
    return directory;
}

bool WinPlatform::ChangeDirectory(const std::wstring& path) {
    return !path.empty() && SetCurrentDirectoryW(path.c_str()) != FALSE;
}

bool WinPlatform::MakeDirectory(const std::wstring& path) {
    return !path.empty() && CreateDirectoryW(LongPathForm(path).c_str(), nullptr) != FALSE;
}

bool WinPlatform::IsDirectory(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(LongPathForm(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::wstring WinPlatform::FullPath(const std::wstring& path) {
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return path;
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    full.resize(length < needed ? length : 0);
    return full;
}

std::wstring WinPlatform::FinalPath(const std::wstring& path) {
    const UniqueFileHandle file = OpenForQueries(path);
    if (!file) return {};
    const DWORD needed = GetFinalPathNameByHandleW(file.Get(), nullptr, 0, FILE_NAME_NORMALIZED);
    if (needed == 0) return {};
    std::wstring final(needed, L'\0');
    const DWORD length =
        GetFinalPathNameByHandleW(file.Get(), final.data(), needed, FILE_NAME_NORMALIZED);
    final.resize(length < needed ? length : 0);
    return final;
}

std::optional<FileIdentity> WinPlatform::IdentityOf(const std::wstring& path) {
    const UniqueFileHandle file = OpenForQueries(path);
    BY_HANDLE_FILE_INFORMATION information{};
    if (!file || !GetFileInformationByHandle(file.Get(), &information)) return std::nullopt;
    return FileIdentity{information.dwVolumeSerialNumber,
                        (static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) |
                            information.nFileIndexLow};
}

std::wstring WinPlatform::FindFirstName(const std::wstring& pattern, bool includeDirectories) {
    if (pattern.empty()) return {};
    WIN32_FIND_DATAW entry{};
    const UniqueFindHandle find(FindFirstFileW(LongPathForm(pattern).c_str(), &entry));
    if (!find) return {};
    DWORD excluded = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    if (!includeDirectories) excluded |= FILE_ATTRIBUTE_DIRECTORY;
    do {
        if ((entry.dwFileAttributes & excluded) == 0) return entry.cFileName;
    } while (FindNextFileW(find.Get(), &entry) != FALSE);
    return {};
}

std::vector<FolderEntry> WinPlatform::FolderEntries(const std::wstring& folder) {
    std::vector<FolderEntry> entries;
    WIN32_FIND_DATAW found{};
    const UniqueFindHandle find(FindFirstFileExW(LongPathForm(folder + L"\\*").c_str(), FindExInfoBasic,
                                                 &found, FindExSearchNameMatch, nullptr,
                                                 FIND_FIRST_EX_LARGE_FETCH));
    if (!find) return entries;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        FolderEntry entry;
        entry.name = name;
        entry.isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entry.lastWrite = (static_cast<std::uint64_t>(found.ftLastWriteTime.dwHighDateTime) << 32) |
                          found.ftLastWriteTime.dwLowDateTime;
        SYSTEMTIME utc{};
        SYSTEMTIME local{};
        if (FileTimeToSystemTime(&found.ftLastWriteTime, &utc) &&
            SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
            entry.lastWriteLocal = {local.wYear, local.wMonth,  local.wDay,
                                    local.wHour, local.wMinute, local.wSecond};
        }
        entries.push_back(std::move(entry));
    } while (FindNextFileW(find.Get(), &found) != FALSE);
    return entries;
}

std::wstring WinPlatform::FoldCase(const std::wstring& text) {
    if (text.empty()) return text;
    // Upper case of the invariant locale: the simple one-to-one mapping that
    // file names are compared by.
    std::wstring folded(text.size(), L'\0');
    const int length = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text.data(),
                                     static_cast<int>(text.size()), folded.data(),
                                     static_cast<int>(folded.size()), nullptr, nullptr, 0);
    return length == static_cast<int>(text.size()) ? folded : text;
}

std::optional<std::uint64_t> WinPlatform::FreeBytes(const std::wstring& folder) {
    // A share's name must end in a separator; a folder's may.
    const bool endsInSeparator = !folder.empty() && folder.back() == L'\\';
    const std::wstring directory = endsInSeparator ? folder : folder + L"\\";
    ULARGE_INTEGER available{};
    if (!GetDiskFreeSpaceExW(directory.c_str(), &available, nullptr, nullptr)) return std::nullopt;
    return available.QuadPart;
}

}  // namespace quarn
