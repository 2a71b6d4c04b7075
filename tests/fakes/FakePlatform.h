#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace quarn::testing {

// An in-memory Windows: one registry key, profile files, a file system with drive
// letters, processes answered by hooks, and a record of every box shown.
class FakePlatform final : public Platform {
public:
    struct StoredValue {
        std::uint32_t type;
        std::vector<std::uint8_t> data;
    };
    struct Box {
        std::wstring title;
        std::wstring text;
    };
    struct Event {
        std::wstring source;
        EventKind kind;
        std::uint32_t id;
        std::wstring text;
    };
    struct StartedProcess {
        std::wstring commandLine;
        std::wstring workingFolder;
        std::uint32_t timeoutMs;
        std::map<std::wstring, std::wstring> environment;  // what it inherited
        std::wstring outputFile;                           // where its output went, if anywhere
    };

    FakePlatform();

    // Set-up helpers.
    void SetRegistryText(const std::wstring& name, const std::wstring& text, std::uint32_t type = 1);
    void SetRegistryDword(const std::wstring& name, std::int32_t value);
    void SetRegistryRaw(const std::wstring& name, std::uint32_t type, std::vector<std::uint8_t> data);
    void AddDirectory(const std::wstring& path);  // with every parent
    void AddFile(const std::wstring& path, const std::wstring& content);  // stored as UTF-8
    void AddFileBytes(const std::wstring& path, const std::string& bytes);
    bool HasFile(const std::wstring& path) const;
    std::wstring FileContent(const std::wstring& path) const;  // read as UTF-8
    std::string FileBytes(const std::wstring& path) const;
    bool HasDirectory(const std::wstring& path) const;
    std::vector<std::wstring> FilesIn(const std::wstring& folder) const;  // names, sorted
    std::vector<std::wstring> FilesBelow(const std::wstring& folder) const;  // full paths, sorted

    // Platform.
    Result<std::unique_ptr<RegistryKey>> OpenCurrentUserKey(const std::wstring& subKey,
                                                            std::uint32_t access) override;
    Result<std::wstring> ExpandEnvironment(const std::wstring& text) override;
    Result<std::wstring> EnvironmentVariable(const std::wstring& name) override;
    std::wstring ReadProfileText(const std::wstring& section, const std::wstring& key,
                                 std::size_t bufferChars, const std::wstring& filePath) override;
    Status WriteProfileText(const std::wstring& section, const std::wstring& key,
                            const std::wstring& value, const std::wstring& filePath) override;
    Result<std::wstring> ProgramFolder() override;
    Result<std::wstring> SystemFolder() override { return systemFolder; }
    Status MakeDirectory(const std::wstring& path) override;
    Result<bool> IsDirectory(const std::wstring& path) override;
    Result<std::wstring> FullPath(const std::wstring& path) override;
    Result<std::wstring> FinalPath(const std::wstring& path) override;
    Result<FileIdentity> IdentityOf(const std::wstring& path) override;
    Result<std::wstring> FindFirstName(const std::wstring& pattern,
                                       bool includeDirectories) override;
    Result<std::vector<FolderEntry>> FolderEntries(const std::wstring& folder) override;
    std::wstring FoldCase(const std::wstring& text) override { return Key(text); }  // ASCII only
    Result<std::uint64_t> FreeBytes(const std::wstring& folder) override;
    Result<CopiedFile> CopyViaTemporary(const std::wstring& from, const std::wstring& temporary,
                                        const std::wstring& to,
                                        std::optional<std::uint64_t> prefixLength) override;
    Result<ContentCheck> CheckContent(const std::wstring& path,
                                      std::optional<std::uint64_t> prefixLength) override;
    Result<std::wstring> ComputerName() override;
    Status MoveFileOver(const std::wstring& from, const std::wstring& to) override;
    Status RemoveFile(const std::wstring& path) override;
    Result<FileStamp> StampOf(const std::wstring& path) override;
    Result<std::string> ReadFileBytes(const std::wstring& path) override;
    Result<std::unique_ptr<ReadableFile>> OpenForReading(const std::wstring& path) override;
    Status WriteFileBytes(const std::wstring& path, const std::string& bytes) override;
    Status AppendFileBytes(const std::wstring& path, const std::string& bytes) override;
    std::wstring ErrorText(std::uint32_t error) override { return L"error " + std::to_wstring(error); }
    Result<ProcessEnd> RunProcess(const std::wstring& commandLine, WindowShow show,
                                  const std::wstring& workingFolder,
                                  const std::vector<ChildVariable>& variables,
                                  const std::wstring& outputFile, std::uint32_t timeoutMs) override;
    Result<std::unique_ptr<RunLock>> LockRun(const std::wstring& name) override;
    Result<std::unique_ptr<RunLock>> LockFile(const std::wstring& path) override;
    LocalTime Now() override { return now; }
    std::uint64_t Milliseconds() override { return clockMs += clockStepMs; }
    bool SomeoneCanSeeBoxes() override { return someoneWatching; }
    void ShowMessageBox(const std::wstring& text, const std::wstring& title) override;
    Status ReportToEventLog(const std::wstring& source, EventKind kind, std::uint32_t eventId,
                            const std::wstring& text) override;

    // Any call can be made to fail: failCall gets the call's name (as in this class)
    // and its main argument (a path resolved to its full form, a command line, a
    // name) and returns the system error code to fail with, or 0.
    std::uint32_t Fails(const std::wstring& call, const std::wstring& argument);
    std::function<std::uint32_t(const std::wstring& call, const std::wstring& argument)> failCall;

    // State a test arranges or reads.
    std::wstring programFolder = L"C:\\Tools\\QuarnLogBackup";
    std::wstring systemFolder = L"C:\\Windows\\system32";
    std::wstring computerName = L"ANN-PC";
    bool registryKeyExists = true;
    std::map<std::wstring, StoredValue> registry;
    std::map<std::wstring, std::wstring> environment;
    // file path -> ordered (section, key, value) lines
    std::map<std::wstring, std::vector<std::vector<std::wstring>>> profiles;
    std::set<std::wstring> unmakeableDirectories;  // full paths that MakeDirectory refuses
    std::map<std::wstring, std::uint32_t> copyErrors;  // full source path -> error
    std::set<std::wstring> undeletableFiles;
    std::set<std::wstring> unwritableFiles;        // full paths that cannot be written
    std::map<std::wstring, std::wstring> links;    // full path of a link -> its target
    std::function<Result<ProcessEnd>(const std::wstring& commandLine)> onProcess;
    std::vector<std::wstring> events;              // every observable call, in order
    std::vector<Box> boxes;
    std::vector<Event> eventLog;
    bool eventLogReachable = true;
    std::map<std::wstring, std::uint64_t> freeBytes;  // drive ("c:") -> free bytes; others plenty
    std::vector<StartedProcess> started;
    std::vector<std::wstring> lockNames;
    bool runLockHeldElsewhere = false;
    bool runLockHeld = false;
    std::set<std::wstring> lockedFiles;            // full paths held open without sharing
    std::set<std::wstring> lockedElsewhere;        // full paths another process holds
    std::map<std::wstring, LocalTime> writeTimes;  // full path -> last write, else "now"
    std::map<std::wstring, std::wstring> archive;  // what ListingAndArchiver's archiver holds
    std::map<std::wstring, std::uint32_t> archiverExits;  // "a", "t", "rn", "e", "" -> its exit code
    std::wstring archiverVersion = L"7.01";               // what its banner says
    std::set<std::wstring> archiveLoses;  // names the archiver takes away but does not keep
    bool someoneWatching = true;
    LocalTime now{2026, 12, 7, 23, 0, 4};
    std::uint64_t clockMs = 0;
    std::uint64_t clockStepMs = 0;                 // added on every reading of the clock
    int openKeys = 0;

private:
    std::wstring Resolve(const std::wstring& path) const;
    static std::wstring Key(const std::wstring& path);
    std::wstring ParentKey(const std::wstring& path) const;
    std::wstring FollowLinks(const std::wstring& path) const;

    std::map<std::wstring, std::wstring> directories_;  // key -> display path
    std::map<std::wstring, std::pair<std::wstring, std::string>> files_;  // key -> path, bytes
    // key -> when it last changed, as a count: no one can set it back, as on NTFS
    std::map<std::wstring, std::uint64_t> changed_;
    std::uint64_t changeClock_ = 0;
};

// Answers the listing batch file the way the command interpreter would: lists the
// given paths into filelist.tmp (UTF-16) and writes the marker. Archiver commands
// get the exit code that platform.archiverExits names, else archiverExitCode ("a")
// or 0: the archiver alone writes its banner to its output file; "t" tests; with 0,
// "e" extracts the entries its list file names, "rn" renames them as its list file
// pairs them, and "a" takes the log copies of its working folder away into
// platform.archive; both write the archive file as RAR 5.0.
// The length and CRC-32 of the bytes, and of their first prefixLength bytes.
ContentCheck Checked(const std::string& bytes, std::optional<std::uint64_t> prefixLength);

std::function<Result<ProcessEnd>(const std::wstring&)> ListingAndArchiver(
    FakePlatform& platform, std::vector<std::wstring> listed, std::uint32_t archiverExitCode = 0);

}  // namespace quarn::testing
