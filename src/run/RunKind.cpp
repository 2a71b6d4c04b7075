#include "run/RunKind.h"

#include "archive/ArchiveTest.h"
#include "common/RunStopped.h"
#include "names/NamesFile.h"

namespace quarn {
namespace {

const wchar_t kNothingBackedUp[] = L"Nothing was backed up.";

}  // namespace

std::wstring ArchiveKey(Platform& platform, const std::wstring& archivePath) {
    const Result<std::wstring> full = platform.FullPath(archivePath);
    if (!full) {
        throw RunStopped(ExitCode::SettingInvalid,
                         L"The archive's path " + archivePath + L" cannot be made a full path: " +
                             platform.ErrorText(full.Error()) +
                             L" Check BackupDir and ZipFile in QuarnBackup.ini. " + kNothingBackedUp);
    }
    return platform.FoldCase(*full);
}

std::wstring ThisComputer(Platform& platform) {
    const Result<std::wstring> name = platform.ComputerName();
    if (!name) {
        throw RunStopped(ExitCode::UnexpectedError,
                         L"The backup could not learn this computer's name: " +
                             platform.ErrorText(name.Error()) + L" " + kNothingBackedUp);
    }
    return *name;
}

// Two computers whose logs have the same paths would each night overwrite the other's
// entries under the same names.
void RefuseAnotherComputersList(Platform& platform, const std::wstring& archivePath,
                                const std::wstring& listComputer, const std::wstring& thisComputer) {
    if (listComputer.empty() || platform.FoldCase(listComputer) == platform.FoldCase(thisComputer)) return;
    throw RunStopped(ExitCode::SettingInvalid,
                     L"The archive " + archivePath + L" holds the logs of the computer " +
                         listComputer + L", and this computer is " + thisComputer +
                         L". Two computers must not back up into one archive: set another "
                         L"ZipFile in QuarnBackup.ini for this computer. If this is the same "
                         L"computer under a new name, delete the first line (the one that begins "
                         L"with :archive) of " + NamesFilePath(archivePath) +
                         L" in Notepad, and the next run takes the list over. " + kNothingBackedUp);
}

RunKind DecideRunKind(Platform& platform, const std::wstring& archivePath, const std::wstring& dataDir,
                      const StagingNames& names, bool namesWhole, bool leftovers, std::int64_t today,
                      const std::wstring& forcedReason) {
    ArchiveState state;
    if (namesWhole) state.recorded = names.Archive();
    state.archive = ArchiveKey(platform, archivePath);
    const Result<FileStamp> stamp = platform.StampOf(archivePath);
    if (stamp) {
        state.stamp = *stamp;
    } else if (!win32::IsNotFound(stamp.Error())) {
        state.unreadable = platform.ErrorText(stamp.Error());
    }
    // Where the file system has file IDs.
    if (const Result<FileIdentity> identity = platform.IdentityOf(archivePath)) {
        state.identity = *identity;
    }
    state.today = today;
    state.lastFullRunOfDataDir = names.LastFullRun(platform.FoldCase(dataDir));
    state.leftovers = leftovers;
    RunKind kind;
    kind.reason = forcedReason.empty() ? FullRunReason(state) : forcedReason;
    kind.full = !kind.reason.empty();
    kind.archiveExists = stamp.Ok();
    return kind;
}

DueTest TestIfDue(Platform& platform, const std::wstring& archivePath, const std::wstring& programFolder,
                  std::uint32_t timeoutMs, const std::optional<ArchiveRecord>& recorded, bool fullRun,
                  std::int64_t today, std::wstring& note) {
    const bool due = fullRun || !recorded || today - recorded->lastTestDay > kTestDays ||
                     recorded->lastTestDay > today;
    if (!due) return {};
    DueTest test;
    test.damage = TestArchive(platform, archivePath, programFolder, timeoutMs, kNothingBackedUp, note);
    test.tested = !test.damage;
    return test;
}

}  // namespace quarn
