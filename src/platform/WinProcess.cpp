#include "platform/WinHandles.h"
#include "platform/WinPlatform.h"
#include "platform/WinProgramJob.h"

namespace quarn {
namespace {

constexpr UINT kEndedExitCode = 1;
// After ending a step, how long to wait for the system to end its processes and
// release their files.
constexpr DWORD kEndGraceMs = 10 * 1000;
constexpr DWORD kEndPollMs = 20;

UniqueKernelHandle KillOnCloseJob() {
    UniqueKernelHandle job(CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!job || !SetInformationJobObject(job.Get(), JobObjectExtendedLimitInformation, &limits,
                                         sizeof limits)) {
        return {};
    }
    return job;
}

// Ends every process in the job and waits until none is active: the direct child
// may be gone while what it started still holds files.
void EndJob(HANDLE job) {
    TerminateJobObject(job, kEndedExitCode);
    const ULONGLONG deadline = GetTickCount64() + kEndGraceMs;
    for (;;) {
        JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
        if (!QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &accounting,
                                       sizeof accounting, nullptr) ||
            accounting.ActiveProcesses == 0 || GetTickCount64() >= deadline) {
            return;
        }
        Sleep(kEndPollMs);
    }
}

}  // namespace

bool JoinProgramJob() {
    // Once per process, not per WinPlatform: the membership is the process's.
    static const bool joined = [] {
        UniqueKernelHandle job = KillOnCloseJob();
        const bool inJob = job && AssignProcessToJobObject(job.Get(), GetCurrentProcess()) != FALSE;
        if (inJob) job.Release();  // closed by the system when the process ends, and only then
        return inJob;
    }();
    return joined;
}

ProcessOutcome WinPlatform::RunProcess(const std::wstring& commandLine, WindowShow show,
                                       const std::wstring& workingFolder,
                                       std::uint32_t timeoutMs) {
    JoinProgramJob();
    // The step's own job, inside the program's: a bound that runs out ends
    // everything the step started, and nothing else.
    const UniqueKernelHandle stepJob = KillOnCloseJob();

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = show == WindowShow::MinimizedActive ? SW_SHOWMINIMIZED
                                                              : SW_SHOWMINNOACTIVE;
    PROCESS_INFORMATION created{};
    std::wstring mutableCommandLine = commandLine;  // CreateProcessW may write into it

    ProcessOutcome outcome;
    // Suspended until it is in the step's job, so that nothing it starts escapes it.
    if (!CreateProcessW(nullptr, mutableCommandLine.data(), nullptr, nullptr, FALSE,
                        CREATE_SUSPENDED, nullptr,
                        workingFolder.empty() ? nullptr : workingFolder.c_str(), &startup,
                        &created)) {
        outcome.startError = GetLastError();
        return outcome;
    }
    const UniqueKernelHandle process(created.hProcess);
    const UniqueKernelHandle thread(created.hThread);
    // Refused where jobs do not nest (Windows 7): the step then ends with its
    // direct child only, and the rest with the program.
    const bool inStepJob =
        stepJob && AssignProcessToJobObject(stepJob.Get(), process.Get()) != FALSE;
    const auto endStep = [&] {
        if (inStepJob) {
            EndJob(stepJob.Get());
        } else {
            TerminateProcess(process.Get(), kEndedExitCode);
            WaitForSingleObject(process.Get(), kEndGraceMs);
        }
    };

    if (ResumeThread(thread.Get()) == static_cast<DWORD>(-1)) {
        outcome.startError = GetLastError();
        endStep();
        return outcome;
    }
    outcome.started = true;

    const DWORD waited = WaitForSingleObject(process.Get(), timeoutMs);
    DWORD exitCode = 0;
    if (waited == WAIT_OBJECT_0 && GetExitCodeProcess(process.Get(), &exitCode) != FALSE) {
        outcome.exitCode = exitCode;
    } else if (waited == WAIT_TIMEOUT) {
        outcome.timedOut = true;
    } else {
        outcome.waitError = GetLastError();
    }
    // Also after a normal end: whatever the step started and left running goes too.
    endStep();
    return outcome;
}

}  // namespace quarn
