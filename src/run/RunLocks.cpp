#include "run/RunLocks.h"

#include "common/RunStopped.h"
#include "common/TextHash.h"

namespace quarn {
namespace {

// A lock name may not hold "\": the name comes from a hash of the folder's path as
// the file system folds it.
std::wstring RunLockName(const std::wstring& foldedFolder) {
    const std::uint64_t hash = HashText(foldedFolder);
    std::wstring name = L"Global\\QuarnLogBackup.";
    for (int shift = 60; shift >= 0; shift -= 4) name += L"0123456789abcdef"[(hash >> shift) & 0xF];
    return name;
}

}  // namespace

std::unique_ptr<RunLock> LockProgramFolder(Platform& platform, const std::wstring& programFolder) {
    // Through links and second drive letters too: one folder, one lock.
    Result<std::wstring> folder = platform.FinalPath(programFolder);
    if (!folder) folder = platform.FullPath(programFolder);
    Result<std::unique_ptr<RunLock>> lock =
        folder ? platform.LockRun(RunLockName(platform.FoldCase(*folder))) : Failed{folder.Error()};
    if (lock) return std::move(lock).Value();
    if (HeldElsewhere(lock.Error())) {
        throw RunStopped(ExitCode::AnotherRunInProgress,
                         L"Another backup run from " + programFolder +
                             L" is in progress. This run did nothing.");
    }
    throw RunStopped(ExitCode::UnexpectedError,
                     L"The backup could not make sure that it runs alone: " +
                         platform.ErrorText(lock.Error()) + L" This run did nothing.");
}

std::unique_ptr<RunLock> LockArchive(Platform& platform, const std::wstring& archivePath) {
    Result<std::unique_ptr<RunLock>> lock = platform.LockFile(archivePath + L".lock");
    if (lock) return std::move(lock).Value();
    if (HeldElsewhere(lock.Error())) {
        throw RunStopped(ExitCode::AnotherRunInProgress,
                         L"Another backup run (from another program folder or another "
                         L"computer) is writing the archive " + archivePath +
                             L". This run did nothing.");
    }
    throw RunStopped(ExitCode::BackupDirUnusable,
                     L"The backup could not open its lock file " + archivePath + L".lock beside "
                     L"the archive: " + platform.ErrorText(lock.Error()) +
                         L" This run did nothing.");
}

}  // namespace quarn
