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
    if (const Status removed = platform.RemoveFile(listFile); !removed) {
        StopListing(ExitCode::WorkingFolderUnusable, archivePath,
                    L"an earlier list " + listFile + L" cannot be removed: " +
                        platform.ErrorText(removed.Error()));
    }
    const Result<ProcessEnd> listing = platform.RunProcess(ArchiveListingCommand(archivePath),
                                                       WindowShow::MinimizedInactive,
                                                       workingFolder, {}, timeoutMs);
    const Result<std::string> list = platform.ReadFileBytes(listFile);
    // Left behind, it is removed before the next listing.
    static_cast<void>(platform.RemoveFile(listFile));

    if (!listing || listing->exitCode == kCommandNotFound) {
        StopListing(ExitCode::ArchiverNotStarted, archivePath,
                    L"the RAR archiver rar.exe could not be started" +
                        (listing ? std::wstring() : L" (" + platform.ErrorText(listing.Error()) + L")") +
                        L".");
    }
    if (listing->timedOut) {
        StopListing(ExitCode::WaitTimedOut, archivePath,
                    L"the RAR archiver did not end within " + DurationText(timeoutMs) + L".");
    }
    if (listing->waitError != 0) {
        StopListing(ExitCode::ArchiverFailed, archivePath,
                    L"the end of the RAR archiver could not be awaited (" +
                        platform.ErrorText(listing->waitError) + L").");
    }
    if (listing->exitCode != 0) {
        StopListing(ExitCode::ArchiverFailed, archivePath,
                    L"the RAR archiver failed with exit code " + std::to_wstring(listing->exitCode) +
                        L" (" + DescribeArchiverExit(listing->exitCode) + L").");
    }
    if (!list) {
        StopListing(ExitCode::ArchiverFailed, archivePath,
                    L"its list " + listFile + L" could not be read (" +
                        platform.ErrorText(list.Error()) + L").");
    }

    std::vector<std::wstring> names;
    EachLine(FromUtf16Le(*list), [&](std::wstring_view name) {
        if (!name.empty()) names.emplace_back(name);
    });
    return names;
}

}  // namespace quarn
