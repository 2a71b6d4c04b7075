#include "backup/ArchiveUpdate.h"

#include "backup/ArchiveCommand.h"
#include "backup/ArchiverRun.h"
#include "backup/StagingFolder.h"
#include "common/RunStopped.h"

namespace quarn {
namespace {

// Commands stay well below the 32,767 characters that Windows allows a command line.
constexpr std::size_t kLongestCommandLine = 30000;

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

void RunArchiver(Platform& platform, const std::wstring& archivePath,
                 const std::wstring& stagingFolder, std::uint32_t timeoutMs, ArchiverRun& run) {
    const Result<std::size_t> copies = FilesIn(platform, stagingFolder);
    if (!copies) {
        StopForStagingFolder(platform, stagingFolder, copies.Error(), L"Nothing was backed up.");
    }
    run.exitCode = RunArchiverCommand(platform, BuildArchiveCommand(archivePath), stagingFolder,
                                      timeoutMs, L"writing " + archivePath,
                                      CopiesWait(stagingFolder), run.note);
    const Result<std::size_t> left = FilesIn(platform, stagingFolder);
    if (!left) {
        StopForStagingFolder(platform, stagingFolder, left.Error(),
                             L"Whether the archiver took the copies cannot be told, so none is "
                             L"taken for archived: the next run archives them again.");
    }
    run.archived = *copies > *left ? *copies - *left : 0;

    if (run.exitCode == kArchiverDamagedArchive) {
        run.damage = L"the archiver found a checksum error in it (exit code 3) and added nothing";
        return;
    }
    if (run.exitCode != kArchiverSuccess && run.exitCode != kArchiverWarning &&
        run.exitCode != kArchiverNoFilesToAdd) {
        throw RunStopped(ExitCode::ArchiverFailed,
                         L"The RAR archiver failed with exit code " + std::to_wstring(run.exitCode) +
                             L" (" + DescribeArchiverExit(run.exitCode) + L") while writing " +
                             archivePath + L". " + CopiesWait(stagingFolder));
    }
    // Success is what the archiver did, not what it said: it takes each copy away
    // once the copy is in the archive.
    if (*left > 0) {
        throw RunStopped(ExitCode::ArchiverFailed,
                         L"The RAR archiver reported " +
                             std::wstring(run.exitCode == kArchiverSuccess ? L"success" : L"a warning") +
                             L", but " + std::to_wstring(*left) + L" of the copies of the log files " +
                             (*left == 1 ? L"was" : L"were") + L" not archived into " + archivePath +
                             L". " + CopiesWait(stagingFolder));
    }
}

void RenameEntries(Platform& platform, const std::wstring& archivePath,
                   const std::vector<std::pair<std::wstring, std::wstring>>& renames,
                   const std::wstring& folder, std::uint32_t timeoutMs, std::wstring& note) {
    std::vector<std::pair<std::wstring, std::wstring>> batch;
    const auto flush = [&] {
        if (batch.empty()) return;
        const std::uint32_t exitCode = RunArchiverCommand(
            platform, RenameCommand(archivePath, batch), folder, timeoutMs,
            L"keeping earlier versions in " + archivePath, L"Nothing was added to the archive.",
            note);
        if (exitCode != kArchiverSuccess) {
            throw RunStopped(ExitCode::ArchiverFailed,
                             L"The earlier versions of rewritten logs could not be kept in " +
                                 archivePath + L": the RAR archiver failed with exit code " +
                                 std::to_wstring(exitCode) + L" (" +
                                 DescribeArchiverExit(exitCode) +
                                 L"). Nothing was added to the archive, so nothing it held was "
                                 L"replaced; the next run tries again.");
        }
        batch.clear();
    };
    for (const auto& rename : renames) {
        batch.push_back(rename);
        if (RenameCommand(archivePath, batch).size() > kLongestCommandLine) {
            batch.pop_back();
            flush();
            batch.push_back(rename);
        }
    }
    flush();
}

}  // namespace quarn
