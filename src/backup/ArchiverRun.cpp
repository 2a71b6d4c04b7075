#include "backup/ArchiverRun.h"

#include "backup/StepNote.h"
#include "common/Duration.h"
#include "common/RunStopped.h"

namespace quarn {
namespace {

[[noreturn]] void StopNotStarted(const std::wstring& reason, const std::wstring& consequence) {
    throw RunStopped(ExitCode::ArchiverNotStarted,
                     L"The RAR archiver rar.exe " + reason +
                         L". Install the RAR command-line archiver, or put rar.exe beside this "
                         L"program or in a folder on PATH. " + consequence);
}

}  // namespace

std::uint32_t RunArchiverCommand(Platform& platform, const std::wstring& commandLine,
                                 const std::wstring& folder, std::uint32_t timeoutMs,
                                 const std::wstring& doing, const std::wstring& consequence,
                                 std::wstring& note, const std::wstring& outputFile) {
    const Result<ProcessEnd> end = platform.RunProcess(commandLine, WindowShow::MinimizedInactive,
                                                       folder, {}, outputFile, timeoutMs);
    if (!end) {
        StopNotStarted(end.Error() == win32::kFileNotFound
                           ? L"was not found"
                           : L"could not be started: " + platform.ErrorText(end.Error()),
                       consequence);
    }
    note = LeftRunningNote(platform, *end, L"the RAR archiver");
    if (end->timedOut) {
        throw RunStopped(ExitCode::WaitTimedOut,
                         L"The RAR archiver did not end within " + DurationText(timeoutMs) +
                             L" and was stopped while " + doing + L". " + consequence);
    }
    if (end->waitError != 0) {
        throw RunStopped(ExitCode::ArchiverFailed,
                         L"The end of the RAR archiver could not be awaited (" +
                             platform.ErrorText(end->waitError) + L"), so it was stopped while " +
                             doing + L". " + consequence);
    }
    return end->exitCode;
}

}  // namespace quarn
