#pragma once

#include <string>
#include <utility>

namespace quarn {

// The process exit code of a run. Task Scheduler shows it as the last run result,
// so the numbers never change meaning; new ways to stop get new numbers.
enum class ExitCode : int {
    Done = 0,
    OptionsOff = 1,             // the mail client keeps no backup logs
    DataDirUnusable = 2,        // DataDir missing, empty or no directory
    ProgramInDataDir = 3,       // the program lives inside the mail data folder
    WorkingFolderUnusable = 4,  // the program's folder cannot be entered or written
    SettingInvalid = 5,         // BackupDir or ZipFile cannot form an archive path
    BackupDirUnusable = 6,      // the backup directory cannot be created
    ListingFailed = 7,          // the listing batch file did not produce its list
    ArchiverNotStarted = 8,     // rar.exe could not be started
    ArchiverFailed = 9,         // rar.exe reported a failure
    NotAllStaged = 10,          // some log files could not be copied for the archive
    UnexpectedError = 11,       // anything else, such as running out of memory
    AnotherRunInProgress = 12,  // a run from the same folder was still going on
    WaitTimedOut = 13,          // the listing or the archiver did not end in time
    LogsVanished = 14,          // a warning: none of the logs known under DataDir was found
    NotEnoughSpace = 15,        // the staging folder's drive cannot hold the copies
    DamagedArchiveSetAside = 16,  // the archive was damaged: set aside, and a new one made
};

// Thrown by a stage that cannot go on; the run shows the message in one error box
// and ends with the code.
class RunStopped {
public:
    RunStopped(ExitCode code, std::wstring message, std::wstring note = {})
        : code_(code), message_(std::move(message)), note_(std::move(note)) {}

    ExitCode Code() const { return code_; }
    const std::wstring& Message() const { return message_; }
    // What the run log should say besides the message, such as processes a step left
    // running; empty when nothing.
    const std::wstring& Note() const { return note_; }

private:
    ExitCode code_;
    std::wstring message_;
    std::wstring note_;
};

}  // namespace quarn
