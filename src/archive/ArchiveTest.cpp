#include "archive/ArchiveTest.h"

#include "archive/ArchiveCommand.h"
#include "archive/ArchiverRun.h"
#include "common/RunStopped.h"

namespace quarn {
std::optional<std::wstring> TestArchive(Platform& platform, const std::wstring& archivePath,
                                        const std::wstring& programFolder, std::uint32_t timeoutMs,
                         const std::wstring& consequence, std::wstring& note) {
    const std::uint32_t exitCode =
        RunArchiverCommand(platform, TestCommand(archivePath), programFolder, timeoutMs,
                           L"testing " + archivePath, consequence, note);
    switch (exitCode) {
        case kArchiverSuccess: return std::nullopt;
        case kArchiverWarning: return L"the archiver cannot read it to its end (exit code 1)";
        case kArchiverFatalError: return L"the archiver cannot read it as an archive (exit code 2)";
        case kArchiverDamagedArchive:
            return L"the archiver finds a checksum error in it (exit code 3)";
        default:
            throw RunStopped(ExitCode::ArchiverFailed,
                             L"The archive " + archivePath + L" could not be tested: the RAR "
                             L"archiver failed with exit code " + std::to_wstring(exitCode) +
                                 L" (" + DescribeArchiverExit(exitCode) + L"). " + consequence);
    }
}

}  // namespace quarn
