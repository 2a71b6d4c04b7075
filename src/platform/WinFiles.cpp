#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "common/Crc32.h"
#include "platform/WinGrowingBuffer.h"
#include "platform/WinHandles.h"
#include "platform/WinLongPath.h"
#include "platform/WinPlatform.h"

namespace quarn {
namespace {

constexpr DWORD kCopyBufferBytes = 256 * 1024;

Status WriteAll(HANDLE file, const std::string& bytes) {
    DWORD written = 0;
    if (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) == FALSE) {
        return Failed{LastError()};
    }
    if (written != bytes.size()) return Failed{ERROR_WRITE_FAULT};
    return {};
}

Status RenameOpenFile(HANDLE file, const std::wstring& target) {
    const std::wstring to = LongPathForm(target);
    const DWORD nameBytes = static_cast<DWORD>(to.size()) * DWORD{sizeof(wchar_t)};
    std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = nameBytes;
    std::copy(to.begin(), to.end(), rename->FileName);
    if (SetFileInformationByHandle(file, FileRenameInfo, rename, static_cast<DWORD>(buffer.size())) == FALSE) {
        return Failed{LastError()};
    }
    return {};
}

// FILE_NETWORK_OPEN_INFORMATION, as the driver kit documents it.
struct NetworkOpenInformation {
    LARGE_INTEGER CreationTime;
    LARGE_INTEGER LastAccessTime;
    LARGE_INTEGER LastWriteTime;
    LARGE_INTEGER ChangeTime;
    LARGE_INTEGER AllocationSize;
    LARGE_INTEGER EndOfFile;
    ULONG FileAttributes;
};

// The name the native functions take for a full Win32 path: "\??\C:\..." or
// "\??\UNC\server\share\...", made full first as Win32 would.
Result<std::wstring> NtPathOf(const std::wstring& path) {
    const Result<std::wstring> full = FullPathName(path);
    if (!full) return Failed{full.Error()};
    if (full->rfind(L"\\\\?\\", 0) == 0 || full->rfind(L"\\\\.\\", 0) == 0) {
        return L"\\??\\" + full->substr(4);
    }
    if (full->rfind(L"\\\\", 0) == 0) return L"\\??\\UNC\\" + full->substr(2);
    return L"\\??\\" + *full;
}

// Shared for writing and deleting: the mail client may be adding to its log.
UniqueFileHandle OpenToRead(const std::wstring& path) {
    return UniqueFileHandle(CreateFileW(LongPathForm(path).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

}  // namespace

Result<FileStamp> StampOfHandle(HANDLE file) {
    FILE_BASIC_INFO basic{};
    if (GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic) == FALSE) {
        return Failed{LastError()};
    }
    if ((basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return Failed{ERROR_ACCESS_DENIED};
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file, &size) == FALSE) return Failed{LastError()};
    return FileStamp{static_cast<std::uint64_t>(size.QuadPart),
                     static_cast<std::uint64_t>(basic.LastWriteTime.QuadPart),
                     static_cast<std::uint64_t>(basic.ChangeTime.QuadPart)};
}

Result<ContentCheck> WinPlatform::CopyContent(HANDLE from, HANDLE to,
                                              std::optional<std::uint64_t> prefixLength) {
    copyBuffer_.resize(kCopyBufferBytes);
    ContentCheck check;
    for (;;) {
        DWORD read = 0;
        if (ReadFile(from, copyBuffer_.data(), kCopyBufferBytes, &read, nullptr) == FALSE) {
            return Failed{LastError()};
        }
        if (read == 0) break;
        if (prefixLength && !check.prefixCrc && check.size + read >= *prefixLength) {
            const auto inPrefix = static_cast<std::size_t>(*prefixLength - check.size);
            check.prefixCrc = Crc32(check.crc, copyBuffer_.data(), inPrefix);
        }
        check.crc = Crc32(check.crc, copyBuffer_.data(), read);
        check.size += read;
        if (to == nullptr) continue;
        DWORD written = 0;
        if (WriteFile(to, copyBuffer_.data(), read, &written, nullptr) == FALSE) return Failed{LastError()};
        if (written != read) return Failed{ERROR_WRITE_FAULT};
    }
    if (prefixLength && *prefixLength == 0) check.prefixCrc = 0;
    return check;
}

Result<CopiedFile> WinPlatform::CopyViaTemporary(const std::wstring& from,
                                                 const std::wstring& temporary,
                                                 const std::wstring& to,
                                                 std::optional<std::uint64_t> prefixLength) {
    const UniqueFileHandle source = OpenToRead(from);
    if (!source) return Failed{LastError()};
    // Taken before the copy: a write during the copy then moves the log past its record.
    // Not GetFileInformationByHandle: it also asks for the volume's serial number, which
    // costs a round trip to the mount manager under Wine for every log.
    const Result<FileStamp> before = StampOfHandle(source.Get());
    if (!before) return Failed{before.Error()};
    CopiedFile copied;
    copied.source = *before;
    const UniqueFileHandle copy(CreateFileW(LongPathForm(temporary).c_str(), GENERIC_WRITE | DELETE,
                                            0, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN,
                                            nullptr));
    if (!copy) return Failed{LastError()};

    const auto done = [&]() -> Status {
        const Result<ContentCheck> content = CopyContent(source.Get(), copy.Get(), prefixLength);
        if (!content) return Failed{content.Error()};
        copied.content = *content;
        // The copy carries the log's time as it was when the copy ended.
        FILETIME lastWrite{};
        if (GetFileTime(source.Get(), nullptr, nullptr, &lastWrite) == FALSE ||
            SetFileTime(copy.Get(), nullptr, nullptr, &lastWrite) == FALSE) {
            return Failed{LastError()};
        }
        return RenameOpenFile(copy.Get(), to);
    }();
    if (!done) {
        // Best effort: a half copy left under the temporary name is removed by the next run.
        FILE_DISPOSITION_INFO discard{TRUE};
        SetFileInformationByHandle(copy.Get(), FileDispositionInfo, &discard, sizeof discard);
        return Failed{done.Error()};
    }
    return copied;
}

Result<ContentCheck> WinPlatform::CheckContent(const std::wstring& path,
                                               std::optional<std::uint64_t> prefixLength) {
    const UniqueFileHandle file = OpenToRead(path);
    if (!file) return Failed{LastError()};
    return CopyContent(file.Get(), nullptr, prefixLength);
}

Status WinPlatform::MoveFileOver(const std::wstring& from, const std::wstring& to) {
    if (MoveFileExW(LongPathForm(from).c_str(), LongPathForm(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING) == FALSE) {
        return Failed{LastError()};
    }
    return {};
}

Status WinPlatform::RemoveFile(const std::wstring& path) {
    if (DeleteFileW(LongPathForm(path).c_str()) != FALSE) return {};
    const std::uint32_t error = LastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return {};
    return Failed{error};
}

Result<FileStamp> WinPlatform::StampOf(const std::wstring& path) {
    // GetFileAttributesExW asks the file system this very question, through
    // NtQueryFullAttributesFile, but drops the change time; opening a handle for it
    // costs twenty times as much, for every log of every night. So the question is
    // asked as GetFileAttributesExW asks it. Both functions are ntdll's since
    // Windows NT 4 (the driver kit documents them as ZwQueryFullAttributesFile and
    // RtlNtStatusToDosError).
    using QueryFullAttributes = LONG(NTAPI*)(POBJECT_ATTRIBUTES, NetworkOpenInformation*);
    using StatusToError = ULONG(NTAPI*)(LONG);
    static const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    static const auto query = reinterpret_cast<QueryFullAttributes>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryFullAttributesFile")));
    static const auto toError = reinterpret_cast<StatusToError>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlNtStatusToDosError")));
    if (query == nullptr || toError == nullptr) return Failed{ERROR_PROC_NOT_FOUND};

    Result<std::wstring> name = NtPathOf(path);
    if (!name) return Failed{name.Error()};
    if (name->size() * sizeof(wchar_t) > USHRT_MAX) return Failed{ERROR_FILENAME_EXCED_RANGE};
    UNICODE_STRING unicodeName{static_cast<USHORT>(name->size() * sizeof(wchar_t)),
                               static_cast<USHORT>(name->size() * sizeof(wchar_t)), name->data()};
    OBJECT_ATTRIBUTES attributes{};
    InitializeObjectAttributes(&attributes, &unicodeName, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
    NetworkOpenInformation information{};
    const LONG status = query(&attributes, &information);
    if (status < 0) return Failed{static_cast<std::uint32_t>(toError(status))};
    if ((information.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return Failed{ERROR_ACCESS_DENIED};
    return FileStamp{static_cast<std::uint64_t>(information.EndOfFile.QuadPart),
                     static_cast<std::uint64_t>(information.LastWriteTime.QuadPart),
                     static_cast<std::uint64_t>(information.ChangeTime.QuadPart)};
}

Result<std::string> WinPlatform::ReadFileBytes(const std::wstring& path) {
    const UniqueFileHandle file(CreateFileW(LongPathForm(path).c_str(), GENERIC_READ,
                                            FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.Get(), &size)) return Failed{LastError()};
    // The program reads only its own small files whole.
    if (size.QuadPart > 0x7FFFFFFF) return Failed{ERROR_FILE_TOO_LARGE};
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!bytes.empty() &&
        !ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) {
        return Failed{LastError()};
    }
    if (read != bytes.size()) return Failed{ERROR_HANDLE_EOF};  // it shrank while read
    return bytes;
}

Status WinPlatform::WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    const UniqueFileHandle file(CreateFileW(LongPathForm(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return Failed{LastError()};
    if (const Status written = WriteAll(file.Get(), bytes); !written) return written;
    if (FlushFileBuffers(file.Get()) == FALSE) return Failed{LastError()};
    return {};
}

Status WinPlatform::AppendFileBytes(const std::wstring& path, const std::string& bytes) {
    // Append-only access: every write lands at the end, whoever else writes too.
    const UniqueFileHandle file(CreateFileW(LongPathForm(path).c_str(), FILE_APPEND_DATA,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return Failed{LastError()};
    return WriteAll(file.Get(), bytes);
}

std::wstring WinPlatform::ErrorText(std::uint32_t error) {
    wchar_t buffer[512] = {};
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, buffer, ARRAYSIZE(buffer), nullptr);
    while (length > 0 && (buffer[length - 1] == L'\r' || buffer[length - 1] == L'\n' ||
                          buffer[length - 1] == L' ')) {
        --length;
    }
    const std::wstring code = L"system error " + std::to_wstring(error);
    return length == 0 ? code : std::wstring(buffer, length) + L" (" + code + L")";
}

}  // namespace quarn
