#include "backup/ArchiveListing.h"

#include "backup/ArchiveCommand.h"
#include "backup/ArchiverRun.h"
#include "common/PathText.h"
#include "common/RunStopped.h"

namespace quarn {

ArchiveContents ListArchive(Platform& platform, const std::wstring& archivePath,
                            const std::wstring& programFolder, std::uint32_t timeoutMs,
                            const std::wstring& consequence, std::wstring& note) {
    const auto stop = [&](const std::wstring& reason) {
        throw RunStopped(ExitCode::ArchiverFailed, L"The archive " + archivePath +
                                                       L" could not be listed: " + reason + L" " +
                                                       consequence);
    };
    const std::wstring listFile = JoinPath(programFolder, kArchiveListFile);
    if (const Status removed = platform.RemoveFile(listFile); !removed) {
        stop(L"an earlier list " + listFile + L" cannot be removed: " +
             platform.ErrorText(removed.Error()));
    }
    const std::uint32_t exitCode =
        RunArchiverCommand(platform, TechnicalListingCommand(archivePath), programFolder, timeoutMs,
                           L"listing " + archivePath, consequence, note, listFile);
    const Result<std::string> list = platform.ReadFileBytes(listFile);
    // Left behind, it is removed before the next listing.
    static_cast<void>(platform.RemoveFile(listFile));
    if (!list) stop(L"its list could not be read: " + platform.ErrorText(list.Error()));

    ArchiveContents contents;
    contents.entries = TechnicalListingEntries(ArchiverOutputText(*list));
    switch (exitCode) {
        case kArchiverSuccess:
            // A file that is no archive at all lists as an empty one.
            if (contents.entries.empty()) {
                const Result<FileStamp> stamp = platform.StampOf(archivePath);
                if (!stamp) stop(L"it cannot be looked at: " + platform.ErrorText(stamp.Error()));
                if (stamp->size > 0) contents.damage = L"the archiver finds no entry in it";
            }
            break;
        case kArchiverWarning:
            contents.damage = L"the archiver cannot read it to its end (exit code 1)";
            break;
        case kArchiverDamagedArchive:
            contents.damage = L"the archiver finds a checksum error in it (exit code 3)";
            break;
        default:
            stop(L"the RAR archiver failed with exit code " + std::to_wstring(exitCode) +
                 L" (" + DescribeArchiverExit(exitCode) + L").");
    }
    return contents;
}

}  // namespace quarn
