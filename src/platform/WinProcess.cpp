#include "platform/WinHandles.h"
#include "platform/WinPlatform.h"

namespace quarn {
namespace {

constexpr UINT kEndedExitCode = 1;
// After ending a process, how long to wait for the system to release its files.
constexpr DWORD kEndGraceMs = 10 * 1000;

}  // namespace

bool WinPlatform::JoinChildJob(HANDLE process) {
    if (!childJob_) {
        UniqueKernelHandle job(CreateJobObjectW(nullptr, nullptr));
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (!job || !SetInformationJobObject(job.Get(), JobObjectExtendedLimitInformation,
                                             &limits, sizeof limits)) {
            return false;
        }
        childJob_ = std::move(job);
    }
    // Fails where the program itself runs in a job that allows no nested job
    // (Windows 7); the child then runs outside it.
    return AssignProcessToJobObject(childJob_.Get(), process) != FALSE;
}

ProcessOutcome WinPlatform::RunProcess(const std::wstring& commandLine, WindowShow show,
                                       const std::wstring& workingFolder,
                                       std::uint32_t timeoutMs) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = show == WindowShow::MinimizedActive ? SW_SHOWMINIMIZED
                                                              : SW_SHOWMINNOACTIVE;
    PROCESS_INFORMATION created{};
    std::wstring mutableCommandLine = commandLine;  // CreateProcessW may write into it

    ProcessOutcome outcome;
    // Suspended until it is in the job, so that nothing it starts escapes the job.
    if (!CreateProcessW(nullptr, mutableCommandLine.data(), nullptr, nullptr, FALSE,
                        CREATE_SUSPENDED, nullptr,
                        workingFolder.empty() ? nullptr : workingFolder.c_str(), &startup,
                        &created)) {
        outcome.startError = GetLastError();
        return outcome;
    }
    const UniqueKernelHandle process(created.hProcess);
    const UniqueKernelHandle thread(created.hThread);
    outcome.started = true;
    const bool inJob = JoinChildJob(process.Get());
    ResumeThread(thread.Get());

    if (WaitForSingleObject(process.Get(), timeoutMs) == WAIT_TIMEOUT) {
        outcome.timedOut = true;
        if (inJob) {
            TerminateJobObject(childJob_.Get(), kEndedExitCode);
        } else {
            TerminateProcess(process.Get(), kEndedExitCode);
        }
        WaitForSingleObject(process.Get(), kEndGraceMs);
        return outcome;
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(process.Get(), &exitCode);
    outcome.exitCode = exitCode;
    return outcome;
}

}  // namespace quarn
