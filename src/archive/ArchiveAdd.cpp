#include "archive/ArchiveAdd.h"

#include "archive/ArchiveCommand.h"
#include "archive/ArchiverRun.h"
#include "common/PathText.h"
#include "common/RunStopped.h"

namespace quarn {
namespace {

// How many files wait anywhere below the folder the archiver adds from, whatever their
// names.
Result<std::size_t> FilesIn(Platform& platform, const std::wstring& folder) {
    const Result<std::vector<FolderEntry>> entries = platform.FolderEntries(folder);
    if (!entries) return Failed{entries.Error()};
    std::size_t files = 0;
    for (const FolderEntry& entry : *entries) {
        if (!entry.isFolder) {
            ++files;
            continue;
        }
        const Result<std::size_t> below = FilesIn(platform, JoinPath(folder, entry.name));
        if (!below) return below;
        files += *below;
    }
    return files;
}

std::wstring CopiesWait(const std::wstring& stagingFolder) {
    return L"The copies of the log files stay in " + stagingFolder + L"; the next run tries again.";
}

[[noreturn]] void StopForStagingFolder(Platform& platform, const std::wstring& stagingFolder,
                                       std::uint32_t error, const std::wstring& note,
                                       const wchar_t* consequence) {
    throw RunStopped(ExitCode::WorkingFolderUnusable,
                     L"The folder " + stagingFolder + L" for the copies of the log files cannot "
                     L"be listed: " + platform.ErrorText(error) + L" " + consequence, note);
}

}  // namespace

CopiesAdded RunArchiver(Platform& platform, const std::wstring& archivePath,
                        const std::wstring& stagingFolder, std::uint32_t timeoutMs) {
    CopiesAdded added;
    const Result<std::size_t> copies = FilesIn(platform, stagingFolder);
    if (!copies) {
        StopForStagingFolder(platform, stagingFolder, copies.Error(), {}, L"Nothing was backed up.");
    }
    try {
        added.exitCode = RunArchiverCommand(platform, BuildArchiveCommand(archivePath), stagingFolder,
                                            timeoutMs, L"writing " + archivePath,
                                            CopiesWait(stagingFolder), added.note);
    } catch (const RunStopped& stopped) {
        throw RunStopped(stopped.Code(), stopped.Message(), added.note);
    }
    const auto stop = [&added](ExitCode code, const std::wstring& message) {
        throw RunStopped(code, message, added.note);
    };
    const Result<std::size_t> left = FilesIn(platform, stagingFolder);
    if (!left) {
        StopForStagingFolder(platform, stagingFolder, left.Error(), added.note,
                             L"Whether the archiver took the copies cannot be told, so none is "
                             L"taken for archived: the next run archives them again.");
    }
    added.archived = *copies > *left ? *copies - *left : 0;

    if (added.exitCode == kArchiverWarning || added.exitCode == kArchiverDamagedArchive) return added;
    if (added.exitCode != kArchiverSuccess && added.exitCode != kArchiverNoFilesToAdd) {
        stop(ExitCode::ArchiverFailed,
             L"The RAR archiver failed with exit code " + std::to_wstring(added.exitCode) + L" (" +
                 DescribeArchiverExit(added.exitCode) + L") while writing " + archivePath + L". " +
                 CopiesWait(stagingFolder));
    }
    // Success is what the archiver did, not what it said: it takes each copy away
    // once the copy is in the archive.
    if (*left > 0) {
        stop(ExitCode::ArchiverFailed,
             L"The RAR archiver reported success, but " + std::to_wstring(*left) +
                 L" of the copies of the log files " + (*left == 1 ? L"was" : L"were") +
                 L" not archived into " + archivePath + L". " + CopiesWait(stagingFolder));
    }
    return added;
}

}  // namespace quarn
