#include "platform/WinLongPath.h"

#include "platform/WinGrowingBuffer.h"

namespace quarn {
namespace {

// CreateDirectoryW refuses folders longer than MAX_PATH - 12 characters (room for an
// 8.3 name); every other call allows up to MAX_PATH - 1.
constexpr std::size_t kLongestPlainPath = MAX_PATH - 12 - 1;

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.rfind(prefix, 0) == 0;
}

}  // namespace

Result<std::wstring> FullPathName(const std::wstring& path) {
    return ReadGrowing<std::wstring>([&](std::wstring& buffer) {
        return LengthOrNeeded(GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()),
                                               buffer.data(), nullptr),
                              buffer.size());
    });
}

std::wstring LongPathForm(const std::wstring& path) {
    // Already in a form the system takes as is, or nothing to make full.
    if (path.empty() || StartsWith(path, L"\\\\?\\") || StartsWith(path, L"\\\\.\\")) return path;
    const Result<std::wstring> full = FullPathName(path);
    // A path the system cannot make full is passed on for the call to refuse.
    if (!full || full->size() <= kLongestPlainPath) return path;
    if (StartsWith(*full, L"\\\\?\\") || StartsWith(*full, L"\\\\.\\")) return *full;
    if (StartsWith(*full, L"\\\\")) return L"\\\\?\\UNC\\" + full->substr(2);
    return L"\\\\?\\" + *full;
}

}  // namespace quarn
