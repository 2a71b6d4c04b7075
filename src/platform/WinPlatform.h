#pragma once

#include "platform/Platform.h"
#include "platform/WinHandles.h"

namespace quarn {

// The real thing: every call goes to the wide Windows functions.
// The size, last write time and change time of an open file.
Result<FileStamp> StampOfHandle(HANDLE file);

class WinPlatform final : public Platform {
public:
    Result<std::unique_ptr<RegistryKey>> OpenCurrentUserKey(const std::wstring& subKey,
                                                            std::uint32_t access) override;
    Result<std::wstring> ExpandEnvironment(const std::wstring& text) override;
    Result<std::wstring> EnvironmentVariable(const std::wstring& name) override;

    std::wstring ReadProfileText(const std::wstring& section, const std::wstring& key,
                                 std::size_t bufferChars, const std::wstring& filePath) override;
    Status WriteProfileText(const std::wstring& section, const std::wstring& key,
                            const std::wstring& value, const std::wstring& filePath) override;

    Result<std::wstring> ProgramFolder() override;
    Result<std::wstring> SystemFolder() override;
    Status MakeDirectory(const std::wstring& path) override;
    Result<bool> IsDirectory(const std::wstring& path) override;
    Result<std::wstring> FullPath(const std::wstring& path) override;
    Result<std::wstring> FinalPath(const std::wstring& path) override;
    Result<FileIdentity> IdentityOf(const std::wstring& path) override;
    Result<std::wstring> FindFirstName(const std::wstring& pattern,
                                       bool includeDirectories) override;
    Result<std::vector<FolderEntry>> FolderEntries(const std::wstring& folder) override;
    std::wstring FoldCase(const std::wstring& text) override;
    Result<std::uint64_t> FreeBytes(const std::wstring& folder) override;

    Result<CopiedFile> CopyViaTemporary(const std::wstring& from, const std::wstring& temporary,
                                        const std::wstring& to,
                                        std::optional<std::uint64_t> prefixLength) override;
    Result<ContentCheck> CheckContent(const std::wstring& path,
                                      std::optional<std::uint64_t> prefixLength) override;
    Status MoveFileOver(const std::wstring& from, const std::wstring& to) override;
    Status RemoveFile(const std::wstring& path) override;
    Result<FileStamp> StampOf(const std::wstring& path) override;
    Result<std::string> ReadFileBytes(const std::wstring& path) override;
    Result<std::unique_ptr<ReadableFile>> OpenForReading(const std::wstring& path) override;
    Status WriteFileBytes(const std::wstring& path, const std::string& bytes) override;
    Status AppendFileBytes(const std::wstring& path, const std::string& bytes) override;
    std::wstring ErrorText(std::uint32_t error) override;

    Result<ProcessEnd> RunProcess(const std::wstring& commandLine, WindowShow show,
                                  const std::wstring& workingFolder,
                                  const std::vector<ChildVariable>& variables,
                                  const std::wstring& outputFile, std::uint32_t timeoutMs) override;

    Result<std::unique_ptr<RunLock>> LockRun(const std::wstring& name) override;
    Result<std::unique_ptr<RunLock>> LockFile(const std::wstring& path) override;

    Result<std::wstring> ComputerName() override;
    LocalTime Now() override;
    std::uint64_t Milliseconds() override;

    bool SomeoneCanSeeBoxes() override;
    void ShowMessageBox(const std::wstring& text, const std::wstring& title) override;
    Status ReportToEventLog(const std::wstring& source, EventKind kind, std::uint32_t eventId,
                            const std::wstring& text) override;

private:
    // Reads from to its end, writing what it reads to to when there is one.
    Result<ContentCheck> CopyContent(HANDLE from, HANDLE to, std::optional<std::uint64_t> prefixLength);

    std::vector<char> copyBuffer_;  // one for every copy of the run
};

}  // namespace quarn
