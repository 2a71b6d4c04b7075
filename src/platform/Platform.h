#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/LocalTime.h"
#include "platform/Result.h"

namespace quarn {

// An open registry key; closing it is the owner's destructor.
class RegistryKey {
public:
    virtual ~RegistryKey() = default;

    // The value's type and all of its data, however long.
    struct Value {
        std::uint32_t type = 0;
        std::vector<std::uint8_t> data;
    };
    virtual Result<Value> QueryValue(const std::wstring& valueName) = 0;
};

// A file open for reading at any offset, never written; closing it is the owner's
// destructor.
class ReadableFile {
public:
    virtual ~ReadableFile() = default;
    virtual Result<std::uint64_t> Size() = 0;
    // Reads up to count bytes from offset into buffer: fewer only at the file's end.
    virtual Result<std::size_t> ReadAt(std::uint64_t offset, std::uint8_t* buffer,
                                       std::size_t count) = 0;
};

// A held lock; the destructor releases it, and so does the system when the
// process dies.
class RunLock {
public:
    virtual ~RunLock() = default;
};

// True for the errors with which a lock call says that another process holds it.
inline bool HeldElsewhere(std::uint32_t error) {
    return error == win32::kBusy || error == win32::kSharingViolation ||
           error == win32::kLockViolation;
}

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

// A file's size, last write time and change time. A log only grows or is rewritten,
// and either moves its stamp: also a rewrite that keeps the size and puts the write
// time back, since no tool can put the change time back.
struct FileStamp {
    std::uint64_t size = 0;
    std::uint64_t lastWrite = 0;   // in the system's file-time units
    std::uint64_t changeTime = 0;  // of its content or attributes; 0 where the file system keeps none
    bool operator==(const FileStamp& other) const {
        return size == other.size && lastWrite == other.lastWrite && changeTime == other.changeTime;
    }
    bool operator!=(const FileStamp& other) const { return !(*this == other); }
};

// What a copy read: its length and CRC-32 (as the archiver keeps it for an entry),
// and the CRC-32 of its first prefixLength bytes when it asked for one and the
// content was that long.
struct ContentCheck {
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
    std::optional<std::uint32_t> prefixCrc;
};

// A copy of a file: the source's stamp as the copy began, taken from the handle
// that read it, and what the copy holds.
struct CopiedFile {
    FileStamp source;
    ContentCheck content;
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

// A variable a child process gets on top of the program's own environment, or,
// without a value, does not get.
struct ChildVariable {
    std::wstring name;
    std::optional<std::wstring> value;
};

// How a process that was started ended: a process that ran has an end, whatever
// could not be done about it, and each such failure is a Status of its own.
struct ProcessEnd {
    bool timedOut = false;        // ended by us, with everything it started
    std::uint32_t exitCode = 0;   // when it ended by itself
    Status awaited{};             // failed: its end could not be awaited, and it was ended
    // Processes it started that were still running after it was ended and the
    // system had its time to end them; 0 when all are gone.
    std::uint32_t leftRunning = 0;
    Status endedAll{};            // failed: why they could not all be ended
};

enum class EventKind { Warning, Error };

// Every operating-system call of the program goes through this interface, so that
// the run itself is plain code that can be exercised against a fake. A call that
// can fail returns a Result or a Status with the system's error code; paths are
// always full ones: the program never relies on a current folder.
class Platform {
public:
    virtual ~Platform() = default;

    // Registry of the current user.
    virtual Result<std::unique_ptr<RegistryKey>> OpenCurrentUserKey(const std::wstring& subKey,
                                                                    std::uint32_t access) = 0;
    virtual Result<std::wstring> ExpandEnvironment(const std::wstring& text) = 0;
    // win32::kEnvironmentVariableNotFound when it is not set.
    virtual Result<std::wstring> EnvironmentVariable(const std::wstring& name) = 0;

    // Profile (INI) files. Reads at most bufferChars - 1 characters; a missing file,
    // section or key reads as the empty text, as the profile functions have it.
    virtual std::wstring ReadProfileText(const std::wstring& section, const std::wstring& key,
                                         std::size_t bufferChars, const std::wstring& filePath) = 0;
    virtual Status WriteProfileText(const std::wstring& section, const std::wstring& key,
                                    const std::wstring& value, const std::wstring& filePath) = 0;

    // Folders.
    virtual Result<std::wstring> ProgramFolder() = 0;
    // The folder of the system's own programs, such as cmd.exe.
    virtual Result<std::wstring> SystemFolder() = 0;
    virtual Status MakeDirectory(const std::wstring& path) = 0;
    // False for a path that is not there or is a file.
    virtual Result<bool> IsDirectory(const std::wstring& path) = 0;
    virtual Result<std::wstring> FullPath(const std::wstring& path) = 0;
    // The path with every link resolved.
    virtual Result<std::wstring> FinalPath(const std::wstring& path) = 0;
    virtual Result<FileIdentity> IdentityOf(const std::wstring& path) = 0;
    // Name of the first entry matching the pattern: plain files only, or plain files
    // and directories. Hidden and system entries never match. win32::kFileNotFound
    // when none does.
    virtual Result<std::wstring> FindFirstName(const std::wstring& pattern,
                                               bool includeDirectories) = 0;
    // Every file and folder in the folder, whatever its attributes ("." and ".." left out).
    virtual Result<std::vector<FolderEntry>> FolderEntries(const std::wstring& folder) = 0;
    // The form in which the file system compares names: equal folds, same file name.
    virtual std::wstring FoldCase(const std::wstring& text) = 0;
    // Bytes this user may still write on the folder's drive (quotas included).
    virtual Result<std::uint64_t> FreeBytes(const std::wstring& folder) = 0;

    // Files.
    // Copies a file, also one that another program is writing, as a plain file (never
    // read-only, hidden or system) with its last write time: first under the name
    // temporary, then renamed to, replacing a file of that name, so that to never
    // holds part of a copy.
    virtual Result<CopiedFile> CopyViaTemporary(const std::wstring& from,
                                                const std::wstring& temporary,
                                                const std::wstring& to,
                                                std::optional<std::uint64_t> prefixLength) = 0;
    // Reads a file through once for its length and CRC-32, and the CRC-32 of its
    // first prefixLength bytes.
    virtual Result<ContentCheck> CheckContent(const std::wstring& path,
                                              std::optional<std::uint64_t> prefixLength) = 0;
    virtual Status MoveFileOver(const std::wstring& from, const std::wstring& to) = 0;
    // Succeeds when the file is gone afterwards, also when it never existed.
    virtual Status RemoveFile(const std::wstring& path) = 0;
    // A file's size and time; win32::kFileNotFound (or kPathNotFound) when there is
    // none, win32::kAccessDenied for a folder.
    virtual Result<FileStamp> StampOf(const std::wstring& path) = 0;
    virtual Result<std::string> ReadFileBytes(const std::wstring& path) = 0;
    // A file too large to read whole, read where it is wanted.
    virtual Result<std::unique_ptr<ReadableFile>> OpenForReading(const std::wstring& path) = 0;
    // Creates or empties the file and writes it through to the disk.
    virtual Status WriteFileBytes(const std::wstring& path, const std::string& bytes) = 0;
    // One write at the end of the file, which other processes may have open too.
    virtual Status AppendFileBytes(const std::wstring& path, const std::string& bytes) = 0;
    // The system's own words for an error code, with the code: "Access is denied.
    // (system error 5)".
    virtual std::wstring ErrorText(std::uint32_t error) = 0;

    // Starts a command line in workingFolder, found the way Windows finds a bare
    // command name, with the variables on top of the program's environment and, when
    // outputFile is given, its standard output written there (the file made anew),
    // and waits at most timeoutMs for it to end. A process that takes longer is ended
    // together with every process it started; so is anything it leaves running when
    // it ends, and everything when the program itself ends. Fails when it cannot
    // be started.
    virtual Result<ProcessEnd> RunProcess(const std::wstring& commandLine, WindowShow show,
                                          const std::wstring& workingFolder,
                                          const std::vector<ChildVariable>& variables,
                                          const std::wstring& outputFile,
                                          std::uint32_t timeoutMs) = 0;

    // A lock shared by every session on the machine; HeldElsewhere() of its error
    // while another run holds it.
    virtual Result<std::unique_ptr<RunLock>> LockRun(const std::wstring& name) = 0;
    // A lock that holds across machines: the file, created when missing, held open
    // without sharing; HeldElsewhere() of its error while another process has it open.
    virtual Result<std::unique_ptr<RunLock>> LockFile(const std::wstring& path) = 0;

    // This computer's name, as the network knows it.
    virtual Result<std::wstring> ComputerName() = 0;
    virtual LocalTime Now() = 0;
    virtual std::uint64_t Milliseconds() = 0;  // a steady clock for durations

    // False when the program runs where no one can see a window, such as a task
    // that runs whether or not its user is logged on; true when the system cannot
    // tell: better a box too many than a silent failure.
    virtual bool SomeoneCanSeeBoxes() = 0;
    // A modal box with one OK button and the information icon.
    virtual void ShowMessageBox(const std::wstring& text, const std::wstring& title) = 0;

    // One event in the Application event log under the source, with the text as its
    // only string: without a registered source that string is all a viewer shows.
    virtual Status ReportToEventLog(const std::wstring& source, EventKind kind,
                                    std::uint32_t eventId, const std::wstring& text) = 0;
};

}  // namespace quarn
