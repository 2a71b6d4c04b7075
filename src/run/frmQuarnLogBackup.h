#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/RunStopped.h"
#include "platform/Platform.h"
#include "run/Night.h"
#include "run/RunLog.h"
#include "run/WaitLimits.h"

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

    // The load handler: performs the whole run, records it in the run log and
    // returns its exit code.
    ExitCode Form_Load();

    // Lists, stages and archives the log files; the last stage of the run.
    void ListAndZipFiles();

    Platform& platform() { return platform_; }

    bool bIsSilent = true;

private:
    void RunBackup();
    // One pass of staging, archiving and reading back; returns why the archive is
    // damaged, or nothing when the pass is done.
    // A new archive for a damaged one that was set aside takes what only that one held.
    std::optional<std::wstring> ArchiveOnce(const std::wstring& setAside);
    void NoteWhatWasKeptOrLeft(const StagingResult& result);
    void AddNote(const std::wstring& text);

    Platform& platform_;
    bool someoneWatching_ = true;
    std::wstring programFolder_;
    WaitLimits waitLimits_;
    RunSummary summary_;
    std::size_t carried_ = 0;           // entries taken over from an archive set aside
    std::vector<std::wstring> lost_;    // and those it no longer yields whole
    std::wstring sDataDir;
    std::wstring sBackupDir;
    std::wstring sZipFile;
};

}  // namespace quarn
