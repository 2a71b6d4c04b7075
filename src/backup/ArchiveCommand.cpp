#include "backup/ArchiveCommand.h"

#include "backup/StagingFolder.h"
#include "backup/StepNote.h"
#include "common/Duration.h"
#include "common/RunStopped.h"

namespace quarn {
namespace {

constexpr std::uint32_t kArchiverSuccess = 0;
constexpr std::uint32_t kArchiverDamagedArchive = 3;  // a checksum error in the archive
constexpr std::uint32_t kArchiverNoFilesToAdd = 10;  // nothing to back up this time

std::wstring CopiesWait(const std::wstring& stagingFolder) {
    return L"The copies of the log files stay in " + stagingFolder + L"; the next run tries again.";
}

[[noreturn]] void StopForStagingFolder(Platform& platform, const std::wstring& stagingFolder,
                                       std::uint32_t error, const wchar_t* consequence) {
    throw RunStopped(ExitCode::WorkingFolderUnusable,
                     L"The folder " + stagingFolder + L" for the copies of the log files cannot "
                     L"be listed: " + platform.ErrorText(error) + L" " + consequence);
}

}  // namespace

std::wstring ArchivePath(const std::wstring& backupDir, const std::wstring& zipFile) {
    return backupDir + L"\\" + zipFile;
}

std::wstring BuildArchiveCommand(const std::wstring& backupDir, const std::wstring& zipFile) {
    return L"rar a -r -ep -df -m5  -inul " + (L"\"" + ArchivePath(backupDir, zipFile) + L"\"") +
           L" " + L"*.bkl " + L"*.bks";
}

std::wstring DescribeArchiverExit(std::uint32_t exitCode) {
    switch (exitCode) {
        case 0: return L"success";
        case 1: return L"warning: some files could not be added";
        case 2: return L"fatal error";
        case 3: return L"checksum error: the archive is damaged";
        case 4: return L"the archive is locked";
        case 5: return L"write error";
        case 6: return L"a file could not be opened";
        case 7: return L"wrong command line";
        case 8: return L"not enough memory";
        case 9: return L"the archive could not be created";
        case 10: return L"no files to add";
        case 11: return L"wrong password";
        case 255: return L"stopped by the user";
        default: return L"unknown error";
    }
}

void RunArchiver(Platform& platform, const std::wstring& backupDir, const std::wstring& zipFile,
                 const std::wstring& stagingFolder, std::uint32_t timeoutMs, ArchiverRun& run) {
    const std::wstring archive = ArchivePath(backupDir, zipFile);
    const Result<std::size_t> copies = FilesIn(platform, stagingFolder);
    if (!copies) {
        StopForStagingFolder(platform, stagingFolder, copies.Error(), L"Nothing was backed up.");
    }
    const Result<ProcessEnd> end = platform.RunProcess(
        BuildArchiveCommand(backupDir, zipFile), WindowShow::MinimizedInactive, stagingFolder, {},
        timeoutMs);
    const Result<std::size_t> left = FilesIn(platform, stagingFolder);
    if (!left) {
        StopForStagingFolder(platform, stagingFolder, left.Error(),
                             L"Whether the archiver took the copies cannot be told, so none is "
                             L"taken for archived: the next run archives them again.");
    }
    run.archived = *copies > *left ? *copies - *left : 0;

    if (!end) {
        const std::wstring reason = end.Error() == win32::kFileNotFound
                                        ? L"was not found"
                                        : L"could not be started: " + platform.ErrorText(end.Error());
        throw RunStopped(ExitCode::ArchiverNotStarted,
                         L"The RAR archiver rar.exe " + reason +
                             L". Install the RAR command-line archiver, or put rar.exe beside "
                             L"this program or in a folder on PATH. The log files were not "
                             L"backed up.");
    }
    run.note = LeftRunningNote(platform, *end, L"the RAR archiver");
    if (end->timedOut) {
        throw RunStopped(ExitCode::WaitTimedOut,
                         L"The RAR archiver did not end within " + DurationText(timeoutMs) +
                             L" and was stopped while writing " + archive + L". " +
                             CopiesWait(stagingFolder));
    }
    if (end->waitError != 0) {
        throw RunStopped(ExitCode::ArchiverFailed,
                         L"The end of the RAR archiver could not be awaited (" +
                             platform.ErrorText(end->waitError) + L"), so it was stopped while "
                             L"writing " + archive + L". " + CopiesWait(stagingFolder));
    }
    // Every run would fail on it again: the user has to act.
    if (end->exitCode == kArchiverDamagedArchive) {
        throw RunStopped(ExitCode::ArchiverFailed,
                         L"The archive " + archive +
                             L" is damaged: the RAR archiver found a checksum error in it (exit "
                             L"code 3) and added nothing.\r\n\r\nMove the archive away, and the "
                             L"next run starts a new one; or repair it with \"rar r\" and put the "
                             L"repaired archive in its place. Until then the copies of the log "
                             L"files wait in " + stagingFolder + L".");
    }
    if (end->exitCode != kArchiverSuccess && end->exitCode != kArchiverNoFilesToAdd) {
        throw RunStopped(ExitCode::ArchiverFailed,
                         L"The RAR archiver failed with exit code " +
                             std::to_wstring(end->exitCode) + L" (" +
                             DescribeArchiverExit(end->exitCode) + L") while writing " + archive +
                             L". " + CopiesWait(stagingFolder));
    }
    // Success is what the archiver did, not what it said: it takes each copy away
    // once the copy is in the archive.
    if (*left > 0) {
        throw RunStopped(ExitCode::ArchiverFailed,
                         L"The RAR archiver reported success, but " + std::to_wstring(*left) +
                             L" of the copies of the log files were not archived into " + archive +
                             L". " + CopiesWait(stagingFolder));
    }
}

}  // namespace quarn
