#include "run/frmQuarnLogBackup.h"

#include <algorithm>
#include <cassert>
#include <exception>

#include "archive/ArchiveCommand.h"
#include "common/PathText.h"
#include "run/BackupDirectory.h"
#include "run/ProgramPlacement.h"
#include "run/RunLocks.h"
#include "run/RunRecord.h"
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
    programFolder_.clear();
    ExitCode code = ExitCode::Done;
    std::wstring stopText;
    // Held until the run is recorded: the run log is rolled over by one run at a time.
    std::unique_ptr<RunLock> programFolderLock;
    try {
        bIsSilent = true;
        Result<std::wstring> programFolder = platform_.ProgramFolder();
        if (!programFolder) {
            throw RunStopped(ExitCode::WorkingFolderUnusable,
                             L"The backup could not start: the program's own folder cannot be "
                             L"found: " + platform_.ErrorText(programFolder.Error()));
        }
        programFolder_ = std::move(programFolder).Value();
        programFolderLock = LockProgramFolder(platform_, programFolder_);
        RunBackup();
    } catch (const RunStopped& stopped) {
        code = stopped.Code();
        stopText = stopped.Message();
    } catch (const std::exception&) {
        code = ExitCode::UnexpectedError;
        stopText = kUnexpectedErrorMessage;
    }
    // The log line comes first: the box may wait a long time for its answer.
    if (!programFolder_.empty()) {
        RecordRun(platform_, programFolder_, code, summary_, platform_.Milliseconds() - started,
                  stopText, programFolderLock ? RunLogRollOver::Allowed : RunLogRollOver::NotNow);
    }
    programFolderLock.reset();
    // Shown whatever bIsSilent holds: a run that stops short never does so silently,
    // unless no one could ever answer the box.
    if (!stopText.empty() && someoneWatching_) platform_.ShowMessageBox(stopText, kErrorTitle);
    return code;
}

void frmQuarnLogBackup::RunBackup() {
    waitLimits_ = ReadWaitLimits(platform_);
    // The settings file and every file the run makes for itself live in the
    // program's own folder.
    const std::wstring settingsFile = JoinPath(programFolder_, L"QuarnBackup.ini");

    sDataDir = ReadMailClientDataDir(platform_);
    RefuseProgramInsideDataDir(platform_, programFolder_, sDataDir);

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
    const std::unique_ptr<RunLock> archiveLock = LockArchive(platform_, ArchivePath(sBackupDir, sZipFile));

    ListAndZipFiles();
}

}  // namespace quarn
