#pragma once

#include "platform/Platform.h"

namespace quarn {

// The real thing: every call goes to the wide Windows functions.
class WinPlatform final : public Platform {
public:
    std::unique_ptr<RegistryKey> OpenCurrentUserKey(const std::wstring& subKey,
                                                    std::uint32_t access) override;
    std::wstring ExpandEnvironment(const std::wstring& text) override;

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
    std::wstring FindFirstName(const std::wstring& pattern, bool includeDirectories) override;
    bool SameTextIgnoringCase(const std::wstring& a, const std::wstring& b) override;

    bool CopyFileOver(const std::wstring& from, const std::wstring& to) override;
    bool RemoveFile(const std::wstring& path) override;
    TextFileWrite WriteOemTextFile(const std::wstring& path,
                                   const std::vector<std::wstring>& lines) override;
    std::optional<std::wstring> ReadUtf16TextFile(const std::wstring& path) override;

    ProcessOutcome RunProcess(const std::wstring& commandLine, WindowShow show) override;

    void ShowMessageBox(const std::wstring& text, const std::wstring& title) override;
};

}  // namespace quarn
