#pragma once

#include "platform/Platform.h"
#include "platform/WinHandles.h"

namespace quarn {

// The real thing: every call goes to the wide Windows functions.
class WinPlatform final : public Platform {
public:
    std::unique_ptr<RegistryKey> OpenCurrentUserKey(const std::wstring& subKey,
                                                    std::uint32_t access) override;
    std::wstring ExpandEnvironment(const std::wstring& text) override;
    std::optional<std::wstring> EnvironmentVariable(const std::wstring& name) override;
    void PutEnvironmentVariable(const std::wstring& name,
                                const std::optional<std::wstring>& value) override;

    std::wstring ReadProfileText(const std::wstring& section, const std::wstring& key,
                                 std::size_t bufferChars, const std::wstring& filePath) override;
    bool WriteProfileText(const std::wstring& section, const std::wstring& key,
                          const std::wstring& value, const std::wstring& filePath) override;

    std::wstring ProgramFolder() override;
    std::wstring CurrentDirectory() override;
    bool ChangeDirectory(const std::wstring& path) override;
    bool MakeDirectory(const std::wstring& path) override;
    bool IsDirectory(const std::wstring& path) override;
    std::wstring FullPath(const std::wstring& path) override;
    std::wstring FinalPath(const std::wstring& path) override;
    std::optional<FileIdentity> IdentityOf(const std::wstring& path) override;
    std::wstring FindFirstName(const std::wstring& pattern, bool includeDirectories) override;
    std::vector<FolderEntry> FolderEntries(const std::wstring& folder) override;
    std::wstring FoldCase(const std::wstring& text) override;
    std::optional<std::uint64_t> FreeBytes(const std::wstring& folder) override;

    CopyOutcome CopyViaTemporary(const std::wstring& from, const std::wstring& temporary,
                                   const std::wstring& to) override;
    std::uint32_t MoveFileOver(const std::wstring& from, const std::wstring& to) override;
    bool RemoveFile(const std::wstring& path) override;
    std::optional<std::uint64_t> FileSize(const std::wstring& path) override;
    std::optional<FileStamp> StampOf(const std::wstring& path) override;
    std::optional<std::string> ReadFileBytes(const std::wstring& path) override;
    bool WriteFileBytes(const std::wstring& path, const std::string& bytes) override;
    bool AppendFileBytes(const std::wstring& path, const std::string& bytes) override;
    std::wstring ErrorText(std::uint32_t error) override;

    ProcessOutcome RunProcess(const std::wstring& commandLine, WindowShow show,
                              const std::wstring& workingFolder, std::uint32_t timeoutMs) override;

    LockAttempt LockRun(const std::wstring& name) override;
    LockAttempt LockFile(const std::wstring& path) override;

    LocalTime Now() override;
    std::uint64_t Milliseconds() override;

    bool SomeoneCanSeeBoxes() override;
    void ShowMessageBox(const std::wstring& text, const std::wstring& title) override;
    bool ReportToEventLog(const std::wstring& source, EventKind kind, std::uint32_t eventId,
                          const std::wstring& text) override;

private:
    DWORD CopyContent(HANDLE from, HANDLE to);

    std::vector<char> copyBuffer_;  // one for every copy of the run
};

}  // namespace quarn
