#include "backup/BackupDirectory.h"

#include <vector>

#include "common/PathText.h"
#include "common/RunStopped.h"

namespace quarn {
namespace {

struct PathRoot {
    std::wstring root;        // "C:\" or "\\server\share\"
    std::size_t firstLevel;   // index of the first component below the root
};

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// Empty root when the path is neither a drive path nor a share path.
PathRoot RootOf(const std::wstring& path) {
    const std::vector<std::wstring> components = SplitAtBackslash(path);
    const std::wstring& first = components[0];
    if (first.size() == 2 && IsDriveLetter(first[0]) && first[1] == L':') {
        return {first + L"\\", 1};
    }
    const bool isShare = components.size() >= 4 && first.empty() && components[1].empty() &&
                         !components[2].empty() && components[2] != L"?" &&
                         components[2] != L"." && !components[3].empty();
    if (isShare) return {L"\\\\" + components[2] + L"\\" + components[3] + L"\\", 4};
    return {L"", 0};
}

std::wstring SettingMessage(const std::wstring& backupDir, const std::wstring& problem) {
    return L"The backup directory " + backupDir + L" " + problem +
           L" Check the setting BackupDir in QuarnBackup.ini. Nothing was backed up.";
}

}  // namespace

bool PathExists(Platform& platform, const std::wstring& path, bool isDirectory) {
    if (path.empty()) return false;
    return !platform.FindFirstName(path, isDirectory).empty();
}

void CreateDirectoryChain(Platform& platform, const std::wstring& path,
                          const ProgressReport& report) {
    const PathRoot start = RootOf(path);
    if (start.root.empty() || !platform.ChangeDirectory(start.root)) {
        throw RunStopped(ExitCode::BackupDirUnusable,
                         SettingMessage(path, L"cannot be created: its drive or network share " +
                                                  start.root + L" cannot be reached."));
    }
    report(L"Drive is : " + platform.CurrentDirectory());

    const std::vector<std::wstring> components = SplitAtBackslash(path);
    for (std::size_t i = start.firstLevel; i < components.size(); ++i) {
        // An existing level fails to be made and is simply entered.
        platform.MakeDirectory(components[i]);
        report(L"made dir : " + components[i]);
        platform.ChangeDirectory(components[i]);
        report(platform.CurrentDirectory());
    }
}

void PrepareBackupDirectory(Platform& platform, const std::wstring& backupDir,
                            const ProgressReport& report) {
    if (RootOf(backupDir).root.empty()) {
        throw RunStopped(ExitCode::SettingInvalid,
                         SettingMessage(backupDir, L"is not a full path: it must start with a "
                                                   L"drive, such as C:\\Backups, or a network "
                                                   L"share, such as \\\\server\\share\\Backups."));
    }
    if (PathExists(platform, backupDir, true)) return;

    CreateDirectoryChain(platform, backupDir, report);
    if (!platform.IsDirectory(backupDir)) {
        throw RunStopped(ExitCode::BackupDirUnusable,
                         SettingMessage(backupDir, L"could not be created."));
    }
}

}  // namespace quarn
