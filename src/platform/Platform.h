#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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

enum class WindowShow {
    MinimizedActive,    // the listing batch file: its console may take the focus
    MinimizedInactive,  // the archiver: it must not take the focus from the user
};

struct ProcessOutcome {
    bool started = false;
    std::uint32_t startError = 0;  // system error code when not started
    std::uint32_t exitCode = 0;
};

enum class TextFileWrite { Written, NotRepresentable, Failed };

// Every operating-system call of the program goes through this interface, so that
// the run itself is plain code that can be exercised against a fake.
class Platform {
public:
    virtual ~Platform() = default;

    // Registry of the current user. Returns nullptr when the key cannot be opened.
    virtual std::unique_ptr<RegistryKey> OpenCurrentUserKey(const std::wstring& subKey,
                                                            std::uint32_t access) = 0;
    virtual std::wstring ExpandEnvironment(const std::wstring& text) = 0;

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
    // Name of the first entry matching the pattern: plain files only, or plain files
    // and directories. Hidden and system entries never match. Empty when none does.
    virtual std::wstring FindFirstName(const std::wstring& pattern, bool includeDirectories) = 0;
    virtual bool SameTextIgnoringCase(const std::wstring& a, const std::wstring& b) = 0;

    // Files.
    virtual bool CopyFileOver(const std::wstring& from, const std::wstring& to) = 0;
    // True when the file is gone afterwards, also when it never existed.
    virtual bool RemoveFile(const std::wstring& path) = 0;
    // Lines end in CR LF, in the code page the command interpreter reads.
    virtual TextFileWrite WriteOemTextFile(const std::wstring& path,
                                           const std::vector<std::wstring>& lines) = 0;
    virtual std::optional<std::wstring> ReadUtf16TextFile(const std::wstring& path) = 0;

    // Starts a command line in the current directory, found the way Windows finds
    // a bare command name, and waits for it to end.
    virtual ProcessOutcome RunProcess(const std::wstring& commandLine, WindowShow show) = 0;

    // A modal box with one OK button and the information icon.
    virtual void ShowMessageBox(const std::wstring& text, const std::wstring& title) = 0;
};

}  // namespace quarn
