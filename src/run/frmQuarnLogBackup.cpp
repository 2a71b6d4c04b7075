#include "run/frmQuarnLogBackup.h"

#include <algorithm>
#include <cassert>
#include <exception>

#include "backup/ArchiveCommand.h"
#include "backup/BackupDirectory.h"
#include "common/TextHash.h"
#include "run/ProgramPlacement.h"
#include "run/RunEvent.h"
#include "run/ShowMessage.h"
#include "settings/ArchiveSettings.h"
#include "settings/IniFile.h"
#include "settings/MailClientSettings.h"

namespace quarn {
namespace {

frmQuarnLogBackup* theForm = nullptr;

const wchar_t kUnexpectedErrorMessage[] =
    L"The backup stopped because of an unexpected error (the system may be out of memory). "
    L"The mail data folder was not changed.";

// A lock name may not hold "\": the name comes from a hash of the folder's path as
// the file system folds it.
std::wstring RunLockName(const std::wstring& foldedFolder) {
    const std::uint64_t hash = HashText(foldedFolder);
    std::wstring name = L"Global\\QuarnLogBackup.";
    for (int shift = 60; shift >= 0; shift -= 4) name += L"0123456789abcdef"[(hash >> shift) & 0xF];
    return name;
}

}  // namespace

frmQuarnLogBackup::frmQuarnLogBackup(Platform& platform) : platform_(platform) {
    assert(theForm == nullptr);
    theForm = this;
}

frmQuarnLogBackup::~frmQuarnLogBackup() { theForm = nullptr; }

frmQuarnLogBackup& frmQuarnLogBackup::Instance() {
    assert(theForm != nullptr);
    return *theForm;
}

ExitCode frmQuarnLogBackup::Form_Load() {
    const std::uint64_t started = platform_.Milliseconds();
    someoneWatching_ = platform_.SomeoneCanSeeBoxes();
    summary_ = {};
    waitLimits_ = {};
    ExitCode code = ExitCode::Done;
    std::wstring stopText;
    try {
        RunBackup();
    } catch (const RunStopped& stopped) {
        code = stopped.Code();
        stopText = stopped.Message();
    } catch (const std::exception&) {
        code = ExitCode::UnexpectedError;
        stopText = kUnexpectedErrorMessage;
    }
    // The log line comes first: the box may wait a long time for its answer.
    WriteRunLog(code, stopText, platform_.Milliseconds() - started);
    // Shown whatever bIsSilent holds: a run that stops short never does so silently,
    // unless no one could ever answer the box.
    if (!stopText.empty() && someoneWatching_) platform_.ShowMessageBox(stopText, kErrorTitle);
    return code;
}

void frmQuarnLogBackup::RunBackup() {
    bIsSilent = true;
    EnterProgramFolder();
    const std::unique_ptr<RunLock> runLock = LockProgramFolder();
    ReadWaitLimits();
    const std::wstring settingsFile = platform_.CurrentDirectory() + L"\\QuarnBackup.ini";

    sDataDir = ReadMailClientDataDir(platform_);
    RefuseProgramInsideDataDir(platform_, platform_.CurrentDirectory(), sDataDir);

    sBackupDir = ReadIniValue(platform_, L"BackupDirectory", L"BackupDir",
                              L"C:\\Backups\\QuarnMail", settingsFile);
    std::replace(sBackupDir.begin(), sBackupDir.end(), L'/', L'\\');  // Windows takes both
    sZipFile = ReadIniValue(platform_, L"ZipFiles", L"ZipFile", L"QuarnLogsZip.rar", settingsFile);
    const std::wstring showMessages =
        ReadIniValue(platform_, L"ShowMessages", L"ShowMsg", L"0", settingsFile);
    bIsSilent = showMessages != L"1" || !someoneWatching_;
    summary_.archivePath = ArchivePath(sBackupDir, sZipFile);

    ShowMessage(L"Backup Directory is : " + sBackupDir);
    CheckArchiveSettings(sBackupDir, sZipFile);

    PrepareBackupDirectory(platform_, sBackupDir, ShowMessage);
    EnterProgramFolder();  // creating the backup directory moved the working folder
    const std::unique_ptr<RunLock> archiveLock = LockArchive();

    ListAndZipFiles();
}

// The working folder, drive included, is always the program's own folder: the
// settings file and every file the run makes for itself live there.
void frmQuarnLogBackup::EnterProgramFolder() {
    const std::wstring folder = platform_.ProgramFolder();
    if (!platform_.ChangeDirectory(folder)) {
        throw RunStopped(ExitCode::WorkingFolderUnusable,
                         L"The backup could not start: the program's folder " + folder +
                             L" cannot be made the working folder.");
    }
}

// One run at a time per program folder, across sessions: a scheduled run and a
// double-click must not share the working folder's files.
std::unique_ptr<RunLock> frmQuarnLogBackup::LockProgramFolder() {
    const std::wstring folder = platform_.ProgramFolder();
    // Through links and second drive letters too: one folder, one lock.
    const std::wstring finalPath = platform_.FinalPath(folder);
    LockAttempt attempt = platform_.LockRun(
        RunLockName(platform_.FoldCase(finalPath.empty() ? platform_.FullPath(folder) : finalPath)));
    if (attempt.state == LockAttempt::State::HeldElsewhere) {
        throw RunStopped(ExitCode::AnotherRunInProgress,
                         L"Another backup run from " + folder +
                             L" is in progress. This run did nothing.");
    }
    if (attempt.state == LockAttempt::State::Failed) {
        throw RunStopped(ExitCode::UnexpectedError,
                         L"The backup could not make sure that it runs alone (system error " +
                             std::to_wstring(attempt.error) + L"). This run did nothing.");
    }
    return std::move(attempt.lock);
}

void frmQuarnLogBackup::ReadWaitLimits() {
    ShortenedByTest(kListingLimitVariable, waitLimits_.listingMs);
    ShortenedByTest(kArchiverLimitVariable, waitLimits_.archiverMs);
}

// A whole number of seconds, up to five digits, can only shorten the wait.
void frmQuarnLogBackup::ShortenedByTest(const wchar_t* variable, std::uint32_t& limitMs) {
    const std::optional<std::wstring> value = platform_.EnvironmentVariable(variable);
    if (!value || value->empty() || value->size() > 5 ||
        value->find_first_not_of(L"0123456789") != std::wstring::npos) {
        return;
    }
    const std::uint32_t testMs = static_cast<std::uint32_t>(std::stoul(*value)) * 1000;
    if (testMs > 0) limitMs = std::min(limitMs, testMs);
}

void frmQuarnLogBackup::WriteRunLog(ExitCode code, const std::wstring& stopText,
                                    std::uint64_t elapsedMs) {
    try {
        const std::wstring line = RunLogLine(platform_.Now(), code, summary_, elapsedMs, stopText);
        const RunLogWrite written =
            AppendRunLog(platform_, platform_.ProgramFolder(), RunLogRecord(line, summary_));
        ReportRunEvent(platform_, code, summary_, line, written);
    } catch (const std::exception&) {
        // The run's outcome stands without its record.
    }
}

// One run at a time per archive as well: runs from two program folders, or from two
// computers through a share, must not write one archive and its names together.
// The lock is a file beside the archive that the run holds open without sharing.
std::unique_ptr<RunLock> frmQuarnLogBackup::LockArchive() {
    const std::wstring archive = ArchivePath(sBackupDir, sZipFile);
    LockAttempt attempt = platform_.LockFile(archive + L".lock");
    if (attempt.state == LockAttempt::State::HeldElsewhere) {
        throw RunStopped(ExitCode::AnotherRunInProgress,
                         L"Another backup run (from another program folder or another "
                         L"computer) is writing the archive " + archive +
                             L". This run did nothing.");
    }
    if (attempt.state == LockAttempt::State::Failed) {
        throw RunStopped(ExitCode::BackupDirUnusable,
                         L"The backup could not open its lock file " + archive + L".lock beside "
                         L"the archive: " + platform_.ErrorText(attempt.error) +
                             L" This run did nothing.");
    }
    return std::move(attempt.lock);
}

}  // namespace quarn
