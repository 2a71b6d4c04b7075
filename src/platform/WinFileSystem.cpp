#include <string>

#include "platform/WinHandles.h"
#include "platform/WinPlatform.h"

namespace quarn {

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
    return !path.empty() && CreateDirectoryW(path.c_str(), nullptr) != FALSE;
}

bool WinPlatform::IsDirectory(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring WinPlatform::FullPath(const std::wstring& path) {
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return path;
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    full.resize(length < needed ? length : 0);
    return full;
}

std::wstring WinPlatform::FindFirstName(const std::wstring& pattern, bool includeDirectories) {
    if (pattern.empty()) return {};
    WIN32_FIND_DATAW entry{};
    UniqueFindHandle find(FindFirstFileW(pattern.c_str(), &entry));
    if (!find) return {};
    DWORD excluded = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    if (!includeDirectories) excluded |= FILE_ATTRIBUTE_DIRECTORY;
    do {
        if ((entry.dwFileAttributes & excluded) == 0) return entry.cFileName;
    } while (FindNextFileW(find.Get(), &entry));
    return {};
}

bool WinPlatform::SameTextIgnoringCase(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

bool WinPlatform::CopyFileOver(const std::wstring& from, const std::wstring& to) {
    return CopyFileW(from.c_str(), to.c_str(), FALSE) != FALSE;
}

bool WinPlatform::RemoveFile(const std::wstring& path) {
    if (DeleteFileW(path.c_str())) return true;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

TextFileWrite WinPlatform::WriteOemTextFile(const std::wstring& path,
                                            const std::vector<std::wstring>& lines) {
    std::wstring text;
    for (const std::wstring& line : lines) text += line + L"\r\n";

    std::string bytes;
    if (!text.empty()) {
        BOOL usedDefaultChar = FALSE;
        const int size = WideCharToMultiByte(CP_OEMCP, WC_NO_BEST_FIT_CHARS, text.data(),
                                             static_cast<int>(text.size()), nullptr, 0, nullptr,
                                             &usedDefaultChar);
        if (size == 0 || usedDefaultChar) return TextFileWrite::NotRepresentable;
        bytes.resize(size);
        WideCharToMultiByte(CP_OEMCP, WC_NO_BEST_FIT_CHARS, text.data(),
                            static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
    }

    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return TextFileWrite::Failed;
    DWORD written = 0;
    const BOOL ok = WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                              &written, nullptr);
    return ok && written == bytes.size() ? TextFileWrite::Written : TextFileWrite::Failed;
}

std::optional<std::wstring> WinPlatform::ReadUtf16TextFile(const std::wstring& path) {
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::nullopt;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart > 0x7FFFFFFF) return std::nullopt;

    std::wstring text(static_cast<std::size_t>(size.QuadPart) / sizeof(wchar_t), L'\0');
    const DWORD wanted = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    DWORD read = 0;
    if (wanted > 0 && (!ReadFile(file.Get(), text.data(), wanted, &read, nullptr) || read != wanted)) {
        return std::nullopt;
    }
    if (!text.empty() && text.front() == L'\xFEFF') text.erase(0, 1);
    return text;
}

}  // namespace quarn
