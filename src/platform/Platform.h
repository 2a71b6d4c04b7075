#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/LocalTime.h"

namespace quarn {

// An open registry key; closing it is the owner's destructor.
class RegistryKey {
public:
    virtual ~RegistryKey() = default;

    // Same contract as RegQueryValueEx: with data == nullptr it only reports the
    // type and the size in bytes. Returns 0 or the system's error code.
    virtual long QueryValue(const std::wstring& valueName, std::uint32_t& type,
                            std::uint8_t* data, std::uint32_t& sizeInBytes) = 0;
};

// A held run lock; the destructor releases it, and so does the system when the
// process dies.
class RunLock {
public:
    virtual ~RunLock() = default;
};

struct LockAttempt {
    enum class State { Held, HeldElsewhere, Failed } state = State::Failed;
    std::uint32_t error = 0;  // system error code when Failed
    std::unique_ptr<RunLock> lock;
};

// Which file or folder a path reaches, whatever links, junctions or drive letters
// lead there.
struct FileIdentity {
    std::uint32_t volumeSerial = 0;
    std::uint64_t fileIndex = 0;
    bool operator==(const FileIdentity& other) const {
        return volumeSerial == other.volumeSerial && fileIndex == other.fileIndex;
    }
    bool operator!=(const FileIdentity& other) const { return !(*this == other); }
};

// A file's size and last write time. A log only grows or is rewritten, and either
// moves its stamp.
struct FileStamp {
    std::uint64_t size = 0;
    std::uint64_t lastWrite = 0;  // in the system's file-time units
    bool operator==(const FileStamp& other) const {
        return size == other.size && lastWrite == other.lastWrite;
    }
    bool operator!=(const FileStamp& other) const { return !(*this == other); }
};

struct CopyOutcome {
    std::uint32_t error = 0;  // 0 or the system's error code
    FileStamp source;         // the source as its copy began, from the handle that read it
};

// One entry of a folder listing.
struct FolderEntry {
    std::wstring name;
    bool isFolder = false;
    std::uint64_t lastWrite = 0;  // in the system's file-time units: later is larger
    LocalTime lastWriteLocal;
};

enum class WindowShow {
    MinimizedActive,    // the listing batch file: its console may take the focus
    MinimizedInactive,  // the archiver: it must not take the focus from the user
};

struct ProcessOutcome {
    bool started = false;
    std::uint32_t startError = 0;  // system error code when not started
    bool timedOut = false;         // ended by us, with everything it started
    std::uint32_t exitCode = 0;
    std::uint32_t waitError = 0;   // system error code when its end could not be
                                   // awaited; it was ended, with everything it started
};

enum class EventKind { Warning, Error };

// Every operating-system call of the program goes through this interface, so that
// the run itself is plain code that can be exercised against a fake.
class Platform {
public:
    virtual ~Platform() = default;

    // Registry of the current user. Returns nullptr when the key cannot be opened.
    virtual std::unique_ptr<RegistryKey> OpenCurrentUserKey(const std::wstring& subKey,
                                                            std::uint32_t access) = 0;
    virtual std::wstring ExpandEnvironment(const std::wstring& text) = 0;
    virtual std::optional<std::wstring> EnvironmentVariable(const std::wstring& name) = 0;
    // Sets (or, with none, removes) a variable of the program's own environment,
    // which every process it starts afterwards inherits.
    virtual void PutEnvironmentVariable(const std::wstring& name,
                                        const std::optional<std::wstring>& value) = 0;

    // Profile (INI) files. Reads at most bufferChars - 1 characters.
    virtual std::wstring ReadProfileText(const std::wstring& section, const std::wstring& key,
                                         std::size_t bufferChars, const std::wstring& filePath) = 0;
    virtual bool WriteProfileText(const std::wstring& section, const std::wstring& key,
                                  const std::wstring& value, const std::wstring& filePath) = 0;

    // Folders. ChangeDirectory also changes the current drive.
    virtual std::wstring ProgramFolder() = 0;
    virtual std::wstring CurrentDirectory() = 0;
    virtual bool ChangeDirectory(const std::wstring& path) = 0;
    virtual bool MakeDirectory(const std::wstring& path) = 0;
    virtual bool IsDirectory(const std::wstring& path) = 0;
    virtual std::wstring FullPath(const std::wstring& path) = 0;
    // The path with every link resolved; empty when the system cannot tell.
    virtual std::wstring FinalPath(const std::wstring& path) = 0;
    virtual std::optional<FileIdentity> IdentityOf(const std::wstring& path) = 0;
    // Name of the first entry matching the pattern: plain files only, or plain files
    // and directories. Hidden and system entries never match. Empty when none does.
    virtual std::wstring FindFirstName(const std::wstring& pattern, bool includeDirectories) = 0;
    // Every file and folder in the folder, whatever its attributes ("." and ".." left out).
    virtual std::vector<FolderEntry> FolderEntries(const std::wstring& folder) = 0;
    // The form in which the file system compares names: equal folds, same file name.
    virtual std::wstring FoldCase(const std::wstring& text) = 0;
    // Bytes this user may still write on the folder's drive (quotas included); none
    // when the system cannot tell.
    virtual std::optional<std::uint64_t> FreeBytes(const std::wstring& folder) = 0;

    // Files. The std::uint32_t results are 0 or the system's error code.
    // Copies a file, also one that another program is writing, as a plain file (never
    // read-only, hidden or system) with its last write time: first under the name
    // temporary, then renamed to, replacing a file of that name, so that to never
    // holds part of a copy.
    virtual CopyOutcome CopyViaTemporary(const std::wstring& from, const std::wstring& temporary,
                                           const std::wstring& to) = 0;
    virtual std::uint32_t MoveFileOver(const std::wstring& from, const std::wstring& to) = 0;
    // True when the file is gone afterwards, also when it never existed.
    virtual bool RemoveFile(const std::wstring& path) = 0;
    virtual std::optional<std::uint64_t> FileSize(const std::wstring& path) = 0;
    // None for a folder or a file that cannot be reached.
    virtual std::optional<FileStamp> StampOf(const std::wstring& path) = 0;
    virtual std::optional<std::string> ReadFileBytes(const std::wstring& path) = 0;
    // Creates or empties the file and writes it through to the disk.
    virtual bool WriteFileBytes(const std::wstring& path, const std::string& bytes) = 0;
    // One write at the end of the file, which other processes may have open too.
    virtual bool AppendFileBytes(const std::wstring& path, const std::string& bytes) = 0;
    // The system's own words for an error code, such as "Access is denied."
    virtual std::wstring ErrorText(std::uint32_t error) = 0;

    // Starts a command line in workingFolder, found the way Windows finds a bare
    // command name, and waits at most timeoutMs for it to end. A process that takes
    // longer is ended together with every process it started; so is anything it
    // leaves running when it ends, and everything when the program itself ends.
    virtual ProcessOutcome RunProcess(const std::wstring& commandLine, WindowShow show,
                                      const std::wstring& workingFolder,
                                      std::uint32_t timeoutMs) = 0;

    // A lock shared by every session on the machine.
    virtual LockAttempt LockRun(const std::wstring& name) = 0;
    // A lock that holds across machines: the file, created when missing, held open
    // without sharing. HeldElsewhere while another process has it open.
    virtual LockAttempt LockFile(const std::wstring& path) = 0;

    virtual LocalTime Now() = 0;
    virtual std::uint64_t Milliseconds() = 0;  // a steady clock for durations

    // False when the program runs where no one can see a window, such as a task
    // that runs whether or not its user is logged on.
    virtual bool SomeoneCanSeeBoxes() = 0;
    // A modal box with one OK button and the information icon.
    virtual void ShowMessageBox(const std::wstring& text, const std::wstring& title) = 0;

    // One event in the Application event log under the source, with the text as its
    // only string: without a registered source that string is all a viewer shows.
    // False when the event log cannot be reached.
    virtual bool ReportToEventLog(const std::wstring& source, EventKind kind,
                                  std::uint32_t eventId, const std::wstring& text) = 0;
};

}  // namespace quarn
