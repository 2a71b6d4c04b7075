#include "platform/WinHandles.h"
#include "platform/WinPlatform.h"

namespace quarn {

ProcessOutcome WinPlatform::RunProcess(const std::wstring& commandLine, WindowShow show) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = show == WindowShow::MinimizedActive ? SW_SHOWMINIMIZED
                                                              : SW_SHOWMINNOACTIVE;
    PROCESS_INFORMATION created{};
    std::wstring mutableCommandLine = commandLine;  // CreateProcessW may write into it

    ProcessOutcome outcome;
    if (!CreateProcessW(nullptr, mutableCommandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &created)) {
        outcome.startError = GetLastError();
        return outcome;
    }
    UniqueKernelHandle process(created.hProcess);
    UniqueKernelHandle thread(created.hThread);
    outcome.started = true;

    WaitForSingleObject(process.Get(), INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.Get(), &exitCode);
    outcome.exitCode = exitCode;
    return outcome;
}

}  // namespace quarn
