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

    FakePlatform();

    // Set-up helpers.
    void SetRegistryText(const std::wstring& name, const std::wstring& text, std::uint32_t type = 1);
    void SetRegistryDword(const std::wstring& name, std::int32_t value);
    void SetRegistryRaw(const std::wstring& name, std::uint32_t type, std::vector<std::uint8_t> data);
    void AddDirectory(const std::wstring& path);  // with every parent
    void AddFile(const std::wstring& path, const std::wstring& content);
    bool HasFile(const std::wstring& path) const;
    std::wstring FileContent(const std::wstring& path) const;
    bool HasDirectory(const std::wstring& path) const;
    std::vector<std::wstring> FilesIn(const std::wstring& folder) const;  // names, sorted

    // Platform.
    std::unique_ptr<RegistryKey> OpenCurrentUserKey(const std::wstring& subKey,
                                                    std::uint32_t access) override;
    std::wstring ExpandEnvironment(const std::wstring& text) override;
    std::wstring ReadProfileText(const std::wstring& section, const std::wstring& key,
                                 std::size_t bufferChars, const std::wstring& filePath) override;
    bool WriteProfileText(const std::wstring& section, const std::wstring& key,
                          const std::wstring& value, const std::wstring& filePath) override;
    std::wstring ProgramFolder() override { return programFolder; }
    std::wstring CurrentDirectory() override { return currentDirectory; }
    bool ChangeDirectory(const std::wstring& path) override;
    bool MakeDirectory(const std::wstring& path) override;
    bool IsDirectory(const std::wstring& path) override;
    std::wstring FullPath(const std::wstring& path) override { return Resolve(path); }
    std::wstring FindFirstName(const std::wstring& pattern, bool includeDirectories) override;
    bool SameTextIgnoringCase(const std::wstring& a, const std::wstring& b) override;
    bool CopyFileOver(const std::wstring& from, const std::wstring& to) override;
    bool RemoveFile(const std::wstring& path) override;
    TextFileWrite WriteOemTextFile(const std::wstring& path,
                                   const std::vector<std::wstring>& lines) override;
    std::optional<std::wstring> ReadUtf16TextFile(const std::wstring& path) override;
    ProcessOutcome RunProcess(const std::wstring& commandLine, WindowShow show) override;
    void ShowMessageBox(const std::wstring& text, const std::wstring& title) override;

    // State a test arranges or reads.
    std::wstring programFolder = L"C:\\Tools\\QuarnLogBackup";
    std::wstring currentDirectory = L"C:\\";
    bool registryKeyExists = true;
    std::map<std::wstring, StoredValue> registry;
    std::map<std::wstring, std::wstring> environment;
    // file path -> ordered (section, key, value) lines
    std::map<std::wstring, std::vector<std::vector<std::wstring>>> profiles;
    std::set<std::wstring> unmakeableDirectories;  // full paths that MakeDirectory refuses
    std::set<std::wstring> lockedFiles;            // full paths that cannot be copied
    std::set<std::wstring> undeletableFiles;
    bool oemIsAscii = false;                       // WriteOemTextFile refuses other characters
    std::function<ProcessOutcome(const std::wstring& commandLine)> onProcess;
    std::vector<std::wstring> events;              // every observable call, in order
    std::vector<Box> boxes;
    std::vector<std::wstring> commandLines;
    int openKeys = 0;

private:
    std::wstring Resolve(const std::wstring& path) const;
    static std::wstring Key(const std::wstring& path);
    std::wstring ParentKey(const std::wstring& path) const;

    std::map<std::wstring, std::wstring> directories_;  // key -> display path
    std::map<std::wstring, std::pair<std::wstring, std::wstring>> files_;  // key -> path, content
};

// Answers the listing batch file the way the command interpreter would: lists the
// given paths into filelist.tmp and writes the marker. Other commands get exitCode.
std::function<ProcessOutcome(const std::wstring&)> ListingAndArchiver(
    FakePlatform& platform, std::vector<std::wstring> listed, std::uint32_t archiverExitCode = 0);

}  // namespace quarn::testing
