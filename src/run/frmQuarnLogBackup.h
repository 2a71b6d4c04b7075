#pragma once

#include <string>

#include "platform/Platform.h"
#include "run/RunStopped.h"

namespace quarn {

// The program's one form: never shown, it holds the run state for the whole run.
// Exactly one exists at a time; ShowMessage finds it through Instance().
class frmQuarnLogBackup {
public:
    explicit frmQuarnLogBackup(Platform& platform);
    ~frmQuarnLogBackup();
    frmQuarnLogBackup(const frmQuarnLogBackup&) = delete;
    frmQuarnLogBackup& operator=(const frmQuarnLogBackup&) = delete;

    static frmQuarnLogBackup& Instance();

    // The load handler: performs the whole run and returns its exit code.
    ExitCode Form_Load();

    // Lists, stages and archives the log files; the last stage of the run.
    void ListAndZipFiles();

    Platform& platform() { return platform_; }

    bool bIsSilent = true;

private:
    void RunBackup();
    void EnterProgramFolder();
    void RefuseProgramInsideDataDir();

    Platform& platform_;
    std::wstring sDataDir;
    std::wstring sBackupDir;
    std::wstring sZipFile;
};

}  // namespace quarn
