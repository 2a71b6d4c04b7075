#include "backup/ArchiveUpdate.h"

#include <algorithm>

#include "archive/ArchiveContents.h"
#include "backup/ArchiveCommand.h"
#include "backup/ArchiverRun.h"
#include "backup/StagingFolder.h"
#include "common/PathText.h"
#include "common/RunStopped.h"

namespace quarn {
namespace {

// The archiver reads the names it is to rename or extract from these, in the program's
// folder; each is removed once the archiver has read it, and written over next time.
constexpr wchar_t kRenameList[] = L"archiverenames.tmp";
constexpr wchar_t kExtractList[] = L"archiveextract.tmp";

std::wstring CopiesWait(const std::wstring& stagingFolder) {
    return L"The copies of the log files stay in " + stagingFolder + L"; the next run tries again.";
}

[[noreturn]] void StopForStagingFolder(Platform& platform, const std::wstring& stagingFolder,
                                       std::uint32_t error, const wchar_t* consequence) {
    throw RunStopped(ExitCode::WorkingFolderUnusable,
                     L"The folder " + stagingFolder + L" for the copies of the log files cannot "
                     L"be listed: " + platform.ErrorText(error) + L" " + consequence);
}

// Writes the list file and runs the archiver with the arguments that name it.
std::uint32_t RunWithList(Platform& platform, const std::wstring& listFile,
                          const std::vector<std::wstring>& names, const std::wstring& arguments,
                          const std::wstring& folder, std::uint32_t timeoutMs,
                          const std::wstring& doing, const std::wstring& consequence,
                          std::wstring& note) {
    if (const Status written = platform.WriteFileBytes(listFile, ListFileBytes(names)); !written) {
        throw RunStopped(ExitCode::WorkingFolderUnusable,
                         L"The list " + listFile + L" for the RAR archiver cannot be written: " +
                             platform.ErrorText(written.Error()) + L" " + consequence);
    }
    const std::uint32_t exitCode =
        RunArchiverCommand(platform, arguments, folder, timeoutMs, doing, consequence, note);
    static_cast<void>(platform.RemoveFile(listFile));
    return exitCode;
}

bool SameName(Platform& platform, const std::wstring& a, const std::wstring& b) {
    return platform.FoldCase(a) == platform.FoldCase(b);
}

}  // namespace

void RunArchiver(Platform& platform, const std::wstring& archivePath,
                 const std::wstring& stagingFolder, std::uint32_t timeoutMs, CopiesAdded& added) {
    const Result<std::size_t> copies = FilesIn(platform, stagingFolder);
    if (!copies) {
        StopForStagingFolder(platform, stagingFolder, copies.Error(), L"Nothing was backed up.");
    }
    added.exitCode = RunArchiverCommand(platform, BuildArchiveCommand(archivePath), stagingFolder,
                                        timeoutMs, L"writing " + archivePath,
                                        CopiesWait(stagingFolder), added.note);
    const Result<std::size_t> left = FilesIn(platform, stagingFolder);
    if (!left) {
        StopForStagingFolder(platform, stagingFolder, left.Error(),
                             L"Whether the archiver took the copies cannot be told, so none is "
                             L"taken for archived: the next run archives them again.");
    }
    added.archived = *copies > *left ? *copies - *left : 0;

    if (added.exitCode == kArchiverWarning || added.exitCode == kArchiverDamagedArchive) return;
    if (added.exitCode != kArchiverSuccess && added.exitCode != kArchiverNoFilesToAdd) {
        throw RunStopped(ExitCode::ArchiverFailed,
                         L"The RAR archiver failed with exit code " + std::to_wstring(added.exitCode) +
                             L" (" + DescribeArchiverExit(added.exitCode) + L") while writing " +
                             archivePath + L". " + CopiesWait(stagingFolder));
    }
    // Success is what the archiver did, not what it said: it takes each copy away
    // once the copy is in the archive.
    if (*left > 0) {
        throw RunStopped(ExitCode::ArchiverFailed,
                         L"The RAR archiver reported success, but " + std::to_wstring(*left) +
                             L" of the copies of the log files " + (*left == 1 ? L"was" : L"were") +
                             L" not archived into " + archivePath + L". " +
                             CopiesWait(stagingFolder));
    }
}

void RenameEntries(Platform& platform, const std::wstring& archivePath,
                   const std::vector<EntryRename>& renames, const std::wstring& folder,
                   const std::wstring& listFolder, std::uint32_t timeoutMs, std::wstring& note) {
    if (renames.empty()) return;
    const std::wstring consequence =
        L"Nothing was added to the archive, so nothing it held was replaced; the next run "
        L"tries again.";
    const auto stop = [&](const std::wstring& what) {
        throw RunStopped(ExitCode::ArchiverFailed, L"The earlier versions of rewritten logs could "
                                                   L"not be kept in " + archivePath + L": " +
                                                       what + L" " + consequence);
    };
    std::vector<std::wstring> pairs;
    for (const EntryRename& rename : renames) {
        pairs.push_back(rename.from);
        pairs.push_back(rename.to);
    }
    const std::wstring listFile = JoinPath(listFolder, kRenameList);
    const std::uint32_t exitCode =
        RunWithList(platform, listFile, pairs, RenameCommand(archivePath, listFile), folder,
                    timeoutMs, L"keeping earlier versions in " + archivePath, consequence, note);
    if (exitCode != kArchiverSuccess) {
        stop(L"the RAR archiver failed with exit code " + std::to_wstring(exitCode) + L" (" +
             DescribeArchiverExit(exitCode) + L").");
    }
    const ArchiveContents after = ArchiveContentsOf(platform, archivePath, consequence);
    if (after.damage) stop(L"read back after the renaming, it " + *after.damage + L".");
    for (const EntryRename& rename : renames) {
        const auto named = [&](const std::wstring& name) {
            return [&platform, name](const ArchiveEntry& entry) { return SameName(platform, entry.name, name); };
        };
        const bool oldGone = std::none_of(after.entries.begin(), after.entries.end(), named(rename.from));
        const bool kept = std::any_of(after.entries.begin(), after.entries.end(), [&](const ArchiveEntry& entry) {
            return SameName(platform, entry.name, rename.to) && entry.size == rename.held.size &&
                   entry.crc32 == rename.held.crc32;
        });
        if (!oldGone || !kept) {
            stop(L"read back after the renaming, it does not hold what " + rename.from +
                 L" held under " + rename.to + (oldGone ? L"." : L", and still holds " + rename.from + L"."));
        }
    }
}

std::uint32_t ExtractEntries(Platform& platform, const std::wstring& archivePath,
                             const std::vector<std::wstring>& names, const std::wstring& folder,
                             const std::wstring& listFolder, std::uint32_t timeoutMs,
                             const std::wstring& consequence, std::wstring& note) {
    const std::wstring listFile = JoinPath(listFolder, kExtractList);
    const std::uint32_t exitCode = RunWithList(
        platform, listFile, names, ExtractCommand(archivePath, listFile, folder), folder, timeoutMs,
        L"reading entries of " + archivePath, consequence, note);
    // A warning or a checksum error, or nothing found to extract: what came out is
    // checked file by file.
    if (exitCode != kArchiverSuccess && exitCode != kArchiverWarning &&
        exitCode != kArchiverDamagedArchive && exitCode != kArchiverNoFilesToAdd) {
        throw RunStopped(ExitCode::ArchiverFailed,
                         L"Entries of the archive " + archivePath + L" could not be read: the RAR "
                         L"archiver failed with exit code " + std::to_wstring(exitCode) + L" (" +
                             DescribeArchiverExit(exitCode) + L"). " + consequence);
    }
    return exitCode;
}

}  // namespace quarn
