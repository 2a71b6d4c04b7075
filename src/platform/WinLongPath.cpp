#include "platform/WinLongPath.h"

#include "platform/WinHandles.h"

namespace quarn {
namespace {

// CreateDirectoryW refuses folders longer than MAX_PATH - 12 characters (room for an
// 8.3 name); every other call allows up to MAX_PATH - 1.
constexpr std::size_t kLongestPlainPath = MAX_PATH - 12 - 1;

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.rfind(prefix, 0) == 0;
}

}  // namespace

std::wstring LongPathForm(const std::wstring& path) {
    // Already in a form the system takes as is, or nothing to make full.
    if (path.empty() || StartsWith(path, L"\\\\?\\") || StartsWith(path, L"\\\\.\\")) return path;
    // The full path, as the system would make it: relative to the current directory,
    // with "/", "." and ".." resolved, which the \\?\ form no longer does.
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0 || needed - 1 <= kLongestPlainPath) return path;
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) return path;
    full.resize(length);
    if (StartsWith(full, L"\\\\?\\") || StartsWith(full, L"\\\\.\\")) return full;
    if (StartsWith(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

}  // namespace quarn
