#include <algorithm>
#include <vector>

#include "platform/WinGrowingBuffer.h"
#include "platform/WinHandles.h"
#include "platform/WinLongPath.h"
#include "platform/WinPlatform.h"
#include "platform/WinProgramJob.h"

namespace quarn {
namespace {

constexpr UINT kEndedExitCode = 1;
// After ending a step, how long to wait for the system to end its processes and
// release their files.
constexpr DWORD kEndGraceMs = 10 * 1000;
constexpr DWORD kEndPollMs = 20;

Result<UniqueKernelHandle> KillOnCloseJob() {
    UniqueKernelHandle job(CreateJobObjectW(nullptr, nullptr));
    if (!job) return Failed{LastError()};
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(job.Get(), JobObjectExtendedLimitInformation, &limits,
                                 sizeof limits)) {
        return Failed{LastError()};
    }
    return job;
}

// What ending a step left behind.
struct StepEnd {
    std::uint32_t leftRunning = 0;
    Status ended;
};

// Ends every process in the job and waits until none is active: the direct child
// may be gone while what it started still holds files.
StepEnd EndJob(HANDLE job) {
    StepEnd end;
    if (!TerminateJobObject(job, kEndedExitCode)) end.ended = Failed{LastError()};
    const ULONGLONG deadline = GetTickCount64() + kEndGraceMs;
    for (;;) {
        JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
        if (!QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &accounting,
                                       sizeof accounting, nullptr)) {
            end.ended = Failed{LastError()};
            end.leftRunning = 1;  // at least, as far as anyone can tell
            return end;
        }
        if (accounting.ActiveProcesses == 0) return {};
        if (GetTickCount64() >= deadline) {
            end.leftRunning = accounting.ActiveProcesses;
            return end;
        }
        Sleep(kEndPollMs);
    }
}

// Where the step has no job of its own: its direct child alone.
StepEnd EndProcess(HANDLE process) {
    StepEnd end;
    if (!TerminateProcess(process, kEndedExitCode)) end.ended = Failed{LastError()};  // or it has ended
    switch (WaitForSingleObject(process, kEndGraceMs)) {
        case WAIT_OBJECT_0: return {};
        case WAIT_TIMEOUT: return {1, end.ended};
        default: return {1, Failed{LastError()}};
    }
}

// "NAME=value" strings, NUL-separated, ending in an empty one: the program's own
// environment with the child's variables set or taken away, sorted by name without
// case, as CreateProcessW expects it.
Result<std::wstring> ChildEnvironment(const std::vector<ChildVariable>& variables) {
    const UniqueEnvironmentStrings own(GetEnvironmentStringsW());
    if (!own) return Failed{LastError()};
    const auto nameOf = [](const std::wstring& entry) {
        return entry.substr(0, entry.find(L'=', 1));  // "=C:=C:\x" is named "=C:"
    };
    const auto sameName = [](const std::wstring& a, const std::wstring& b) {
        return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                    static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
    };
    std::vector<std::wstring> entries;
    for (const wchar_t* entry = own.Get(); *entry != L'\0'; entry += wcslen(entry) + 1) {
        entries.emplace_back(entry);
    }
    for (const ChildVariable& variable : variables) {
        entries.erase(std::remove_if(entries.begin(), entries.end(),
                                     [&](const std::wstring& entry) {
                                         return sameName(nameOf(entry), variable.name);
                                     }),
                      entries.end());
        if (variable.value) entries.push_back(variable.name + L"=" + *variable.value);
    }
    std::sort(entries.begin(), entries.end(), [&](const std::wstring& a, const std::wstring& b) {
        const std::wstring nameA = nameOf(a);
        const std::wstring nameB = nameOf(b);
        return CompareStringOrdinal(nameA.data(), static_cast<int>(nameA.size()), nameB.data(),
                                    static_cast<int>(nameB.size()), TRUE) == CSTR_LESS_THAN;
    });
    std::wstring block;
    for (const std::wstring& entry : entries) block += entry + L'\0';
    return block + L'\0';
}

}  // namespace

Status JoinProgramJob() {
    // Once per process, not per WinPlatform: the membership is the process's.
    static const Status joined = []() -> Status {
        Result<UniqueKernelHandle> job = KillOnCloseJob();
        if (!job) return Failed{job.Error()};
        if (!AssignProcessToJobObject(job->Get(), GetCurrentProcess())) return Failed{LastError()};
        job->Release();  // closed by the system when the process ends, and only then
        return {};
    }();
    return joined;
}

Result<ProcessEnd> WinPlatform::RunProcess(const std::wstring& commandLine, WindowShow show,
                                           const std::wstring& workingFolder,
                                           const std::vector<ChildVariable>& variables,
                                           const std::wstring& outputFile,
                                           std::uint32_t timeoutMs) {
    // Refused where jobs do not nest (Windows 7) for a program that already runs in
    // a job: what it starts then lives on after the program, though each step's own
    // job still bounds it. Not a reason to back nothing up, so the refusal goes unused.
    static_cast<void>(JoinProgramJob());
    // The step's own job, inside the program's: a bound that runs out ends
    // everything the step started, and nothing else.
    const Result<UniqueKernelHandle> stepJob = KillOnCloseJob();
    Result<std::wstring> environment = std::wstring();
    if (!variables.empty()) environment = ChildEnvironment(variables);
    if (!environment) return Failed{environment.Error()};

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = show == WindowShow::MinimizedActive ? SW_SHOWMINIMIZED
                                                              : SW_SHOWMINNOACTIVE;
    // The one handle the child inherits: nothing else the program holds is inheritable.
    UniqueFileHandle output;
    if (!outputFile.empty()) {
        SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
        output = UniqueFileHandle(CreateFileW(LongPathForm(outputFile).c_str(), GENERIC_WRITE,
                                              FILE_SHARE_READ, &inheritable, CREATE_ALWAYS,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!output) return Failed{LastError()};
        startup.dwFlags |= STARTF_USESTDHANDLES;
        startup.hStdOutput = output.Get();
    }
    PROCESS_INFORMATION created{};
    std::wstring mutableCommandLine = commandLine;  // CreateProcessW may write into it

    // Suspended until it is in the step's job, so that nothing it starts escapes it.
    if (!CreateProcessW(nullptr, mutableCommandLine.data(), nullptr, nullptr,
                        output.Valid() ? TRUE : FALSE,
                        CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT,
                        variables.empty() ? nullptr : environment->data(),
                        workingFolder.c_str(), &startup, &created)) {
        return Failed{LastError()};
    }
    const UniqueKernelHandle process(created.hProcess);
    const UniqueKernelHandle thread(created.hThread);
    // Refused where jobs do not nest (Windows 7): the step then ends with its
    // direct child only, and the rest with the program.
    const bool inStepJob =
        stepJob && AssignProcessToJobObject(stepJob->Get(), process.Get()) != FALSE;
    const auto endStep = [&] { return inStepJob ? EndJob(stepJob->Get()) : EndProcess(process.Get()); };

    if (ResumeThread(thread.Get()) == static_cast<DWORD>(-1)) {
        const std::uint32_t error = LastError();
        endStep();
        return Failed{error};
    }

    ProcessEnd end;
    switch (WaitForSingleObject(process.Get(), timeoutMs)) {
        case WAIT_OBJECT_0: {
            DWORD exitCode = 0;
            if (GetExitCodeProcess(process.Get(), &exitCode)) {
                end.exitCode = exitCode;
            } else {
                end.awaited = Failed{LastError()};
            }
            break;
        }
        case WAIT_TIMEOUT:
            end.timedOut = true;
            break;
        default:
            end.awaited = Failed{LastError()};
            break;
    }
    // Also after a normal end: whatever the step started and left running goes too.
    const StepEnd ended = endStep();
    end.leftRunning = ended.leftRunning;
    end.endedAll = ended.ended;
    return end;
}

}  // namespace quarn
