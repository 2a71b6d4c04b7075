#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "common/RunStopped.h"
#include "platform/Platform.h"
#include "run/RunLog.h"

namespace quarn {

// How long the run waits for its child processes before it ends them.
struct WaitLimits {
    std::uint32_t listingMs = 30 * 60 * 1000;
    std::uint32_t archiverMs = 4 * 60 * 60 * 1000;
};

// Tests shorten each wait to this many seconds; the README documents them.
inline constexpr wchar_t kListingLimitVariable[] = L"QUARN_TEST_LISTING_SECONDS";
inline constexpr wchar_t kArchiverLimitVariable[] = L"QUARN_TEST_ARCHIVER_SECONDS";

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
    void EnterProgramFolder();
    std::unique_ptr<RunLock> LockProgramFolder();
    std::unique_ptr<RunLock> LockArchive();
    void ReadWaitLimits();
    void ShortenedByTest(const wchar_t* variable, std::uint32_t& limitMs);
    void AddNote(const std::wstring& text);
    void WriteRunLog(ExitCode code, const std::wstring& stopText, std::uint64_t elapsedMs);

    Platform& platform_;
    bool someoneWatching_ = true;
    WaitLimits waitLimits_;
    RunSummary summary_;
    std::wstring sDataDir;
    std::wstring sBackupDir;
    std::wstring sZipFile;
};

}  // namespace quarn
