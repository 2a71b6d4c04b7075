#include "backup/ArchiveListing.h"

#include <optional>

#include "backup/ArchiveCommand.h"
#include "common/Duration.h"
#include "common/PathText.h"
#include "common/RunStopped.h"
#include "common/TextEncoding.h"
#include "common/TextLines.h"

namespace quarn {
namespace {

constexpr std::uint32_t kCommandNotFound = 9009;  // the interpreter's "is not recognized"

[[noreturn]] void StopListing(ExitCode code, const std::wstring& archivePath,
                              const std::wstring& reason) {
    throw RunStopped(code, L"The list of archive names beside " + archivePath +
                               L" was lost, and the names in the archive could not be read "
                               L"either: " + reason +
                               L" Without them a log could take the entry of another log. "
                               L"Nothing was backed up.");
}

}  // namespace

std::wstring ArchiveListingCommand(const std::wstring& archivePath) {
    // "/s": the interpreter takes away the outer quotes and keeps the inner ones.
    return L"cmd.exe /d /s /c \"rar lb -scur \"" + archivePath + L"\" > " + kArchiveListFile + L"\"";
}

std::vector<std::wstring> ListArchiveNames(Platform& platform, const std::wstring& archivePath,
                                           const std::wstring& workingFolder,
                                           std::uint32_t timeoutMs) {
    if (archivePath.find(L'%') != std::wstring::npos) {
        StopListing(ExitCode::ArchiverFailed, archivePath,
                    L"the archive's path holds a \"%\", which the command interpreter would "
                    L"change.");
    }
    const std::wstring listFile = JoinPath(workingFolder, kArchiveListFile);
    platform.RemoveFile(listFile);
    const ProcessOutcome outcome = platform.RunProcess(
        ArchiveListingCommand(archivePath), WindowShow::MinimizedInactive, workingFolder, timeoutMs);
    const std::optional<std::string> list = platform.ReadFileBytes(listFile);
    platform.RemoveFile(listFile);

    if (!outcome.started || outcome.exitCode == kCommandNotFound) {
        StopListing(ExitCode::ArchiverNotStarted, archivePath,
                    L"the RAR archiver rar.exe could not be started.");
    }
    if (outcome.timedOut) {
        StopListing(ExitCode::WaitTimedOut, archivePath,
                    L"the RAR archiver did not end within " + DurationText(timeoutMs) + L".");
    }
    if (outcome.exitCode != 0 || !list) {
        StopListing(ExitCode::ArchiverFailed, archivePath,
                    L"the RAR archiver failed with exit code " + std::to_wstring(outcome.exitCode) +
                        L" (" + DescribeArchiverExit(outcome.exitCode) + L").");
    }

    std::vector<std::wstring> names;
    EachLine(FromUtf16Le(*list), [&](std::wstring_view name) {
        if (!name.empty()) names.emplace_back(name);
    });
    return names;
}

}  // namespace quarn
