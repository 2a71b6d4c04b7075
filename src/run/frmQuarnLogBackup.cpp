#include "run/frmQuarnLogBackup.h"

#include <cassert>
#include <exception>

#include "backup/ArchiveCommand.h"
#include "backup/BackupDirectory.h"
#include "run/ShowMessage.h"
#include "settings/IniFile.h"
#include "settings/MailClientSettings.h"

namespace quarn {
namespace {

frmQuarnLogBackup* theForm = nullptr;

std::wstring WithTrailingSeparator(const std::wstring& path) {
    return !path.empty() && path.back() == L'\\' ? path : path + L'\\';
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
    try {
        RunBackup();
        return ExitCode::Done;
    } catch (const RunStopped& stopped) {
        // Shown whatever bIsSilent holds: a run that stops short never does so silently.
        platform_.ShowMessageBox(stopped.Message(), kErrorTitle);
        return stopped.Code();
    } catch (const std::exception&) {
        platform_.ShowMessageBox(L"The backup stopped because of an unexpected error (the "
                                 L"system may be out of memory). The mail data folder was "
                                 L"not changed.",
                                 kErrorTitle);
        return ExitCode::UnexpectedError;
    }
}

void frmQuarnLogBackup::RunBackup() {
    bIsSilent = true;
    EnterProgramFolder();
    const std::wstring settingsFile = platform_.CurrentDirectory() + L"\\QuarnBackup.ini";

    sDataDir = ReadMailClientDataDir(platform_);
    RefuseProgramInsideDataDir();

    sBackupDir = ReadIniValue(platform_, L"BackupDirectory", L"BackupDir",
                              L"C:\\Backups\\QuarnMail", settingsFile);
    sZipFile = ReadIniValue(platform_, L"ZipFiles", L"ZipFile", L"QuarnLogsZip.rar", settingsFile);
    const std::wstring showMessages =
        ReadIniValue(platform_, L"ShowMessages", L"ShowMsg", L"0", settingsFile);
    bIsSilent = showMessages != L"1";

    ShowMessage(L"Backup Directory is : " + sBackupDir);
    CheckArchiveSettings(sBackupDir, sZipFile);

    PrepareBackupDirectory(platform_, sBackupDir);
    EnterProgramFolder();  // creating the backup directory moved the working folder

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

// Staged copies would mix with the original logs there, and the archiver deletes
// what it has archived.
void frmQuarnLogBackup::RefuseProgramInsideDataDir() {
    const std::wstring dataDir = WithTrailingSeparator(platform_.FullPath(sDataDir));
    const std::wstring programFolder =
        WithTrailingSeparator(platform_.FullPath(platform_.CurrentDirectory()));
    if (programFolder.size() >= dataDir.size() &&
        platform_.SameTextIgnoringCase(programFolder.substr(0, dataDir.size()), dataDir)) {
        throw RunStopped(ExitCode::ProgramInDataDir,
                         L"QuarnLogBackup must not be kept in the mail data folder " + sDataDir +
                             L" or below it: move the program to a folder of its own and run "
                             L"it again. Nothing was backed up.");
    }
}

}  // namespace quarn
