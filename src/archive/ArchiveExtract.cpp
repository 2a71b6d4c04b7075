#include "archive/ArchiveExtract.h"

#include "archive/ArchiveCommand.h"
#include "archive/ArchiverRun.h"
#include "common/PathText.h"
#include "common/RunStopped.h"

namespace quarn {
namespace {

// The archiver reads the names to extract from this list, in the program's folder.
constexpr wchar_t kExtractList[] = L"archiveextract.tmp";

}  // namespace

std::uint32_t ExtractEntries(Platform& platform, const std::wstring& archivePath,
                             const std::vector<std::wstring>& names, const std::wstring& folder,
                             const std::wstring& listFolder, std::uint32_t timeoutMs,
                             const std::wstring& consequence, std::wstring& note) {
    const std::wstring listFile = JoinPath(listFolder, kExtractList);
    const std::uint32_t exitCode = RunArchiverWithList(
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
