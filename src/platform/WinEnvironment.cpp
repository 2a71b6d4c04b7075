#include "platform/WinHandles.h"
#include "platform/WinPlatform.h"

namespace quarn {

std::wstring WinPlatform::ExpandEnvironment(const std::wstring& text) {
    std::wstring expanded(MAX_PATH, L'\0');
    for (;;) {
        const DWORD needed = ExpandEnvironmentStringsW(text.c_str(), expanded.data(),
                                                       static_cast<DWORD>(expanded.size()));
        if (needed == 0) return text;
        if (needed <= expanded.size()) {
            expanded.resize(needed - 1);  // the count includes the terminator
            return expanded;
        }
        expanded.assign(needed, L'\0');
    }
}

std::optional<std::wstring> WinPlatform::EnvironmentVariable(const std::wstring& name) {
    const DWORD needed = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
    if (needed == 0) return std::nullopt;
    std::wstring value(needed, L'\0');
    const DWORD length = GetEnvironmentVariableW(name.c_str(), value.data(), needed);
    if (length >= needed) return std::nullopt;  // changed between the two calls
    value.resize(length);
    return value;
}

void WinPlatform::PutEnvironmentVariable(const std::wstring& name,
                                         const std::optional<std::wstring>& value) {
    SetEnvironmentVariableW(name.c_str(), value ? value->c_str() : nullptr);
}

LocalTime WinPlatform::Now() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

std::uint64_t WinPlatform::Milliseconds() { return GetTickCount64(); }

}  // namespace quarn
