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

Result<std::wstring> WinPlatform::ComputerName() {
    return ReadGrowing<std::wstring>([](std::wstring& buffer) {
        // Its size counts the terminator when the name does not fit, and not when it does.
        DWORD size = static_cast<DWORD>(buffer.size());
        if (GetComputerNameExW(ComputerNameDnsHostname, buffer.data(), &size)) {
            return FillAnswer{0, true, size};
        }
        const std::uint32_t error = LastError();
        if (error == ERROR_MORE_DATA) return FillAnswer{0, false, size};
        return FillAnswer{error};
    });
}

LocalTime WinPlatform::Now() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

std::uint64_t WinPlatform::Milliseconds() { return GetTickCount64(); }

}  // namespace quarn
