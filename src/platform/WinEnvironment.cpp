#include "platform/WinGrowingBuffer.h"
#include "platform/WinHandles.h"
#include "platform/WinPlatform.h"

namespace quarn {

Result<std::wstring> WinPlatform::ExpandEnvironment(const std::wstring& text) {
    // Its count includes the terminator, whether the text fit or not.
    return ReadGrowing<std::wstring>([&](std::wstring& buffer) {
        const DWORD needed = ExpandEnvironmentStringsW(text.c_str(), buffer.data(),
                                                       static_cast<DWORD>(buffer.size()));
        if (needed == 0) return FillAnswer{LastError()};
        return FillAnswer{0, needed <= buffer.size(), needed <= buffer.size() ? needed - 1 : needed};
    });
}

Result<std::wstring> WinPlatform::EnvironmentVariable(const std::wstring& name) {
    return ReadGrowing<std::wstring>([&](std::wstring& buffer) {
        // An empty value also gives 0, but sets no error.
        SetLastError(ERROR_SUCCESS);
        const DWORD returned = GetEnvironmentVariableW(name.c_str(), buffer.data(),
                                                       static_cast<DWORD>(buffer.size()));
        if (returned == 0 && GetLastError() == ERROR_SUCCESS) return FillAnswer{0, true, 0};
        return LengthOrNeeded(returned, buffer.size());
    });
}

LocalTime WinPlatform::Now() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

std::uint64_t WinPlatform::Milliseconds() { return GetTickCount64(); }

}  // namespace quarn
