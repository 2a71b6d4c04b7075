#include "run/BackupDirectory.h"

#include <vector>

#include "common/PathText.h"
#include "common/RunStopped.h"
#include "common/WindowsNames.h"

namespace quarn {
namespace {

struct PathRoot {
    std::wstring root;        // "C:\", "\\server\share\", "\\?\C:\" or "\\?\UNC\server\share\"
    std::size_t firstLevel;   // index of the first component below the root
};

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

bool IsDrive(const std::wstring& component) {
    return component.size() == 2 && IsDriveLetter(component[0]) && component[1] == L':';
}

bool IsShare(const std::vector<std::wstring>& components, std::size_t server) {
    return components.size() > server + 1 && !components[server].empty() &&
           !components[server + 1].empty();
}

// Empty root when the path is neither a drive path nor a share path, in the plain
// form or in the \\?\ form that takes it as it is.
PathRoot RootOf(const std::wstring& path) {
    const std::vector<std::wstring> components = SplitAtBackslash(path);
    if (IsDrive(components[0])) return {components[0] + L"\\", 1};
    if (components.size() < 4 || !components[0].empty() || !components[1].empty()) return {L"", 0};
    if (components[2] == L"?") {
        if (IsDrive(components[3])) return {L"\\\\?\\" + components[3] + L"\\", 4};
        const bool isUnc = EqualsAsciiIgnoringCase(components[3], L"UNC");
        if (isUnc && IsShare(components, 4)) {
            return {L"\\\\?\\UNC\\" + components[4] + L"\\" + components[5] + L"\\", 6};
        }
        return {L"", 0};
    }
    if (components[2] != L"." && IsShare(components, 2)) {
        return {L"\\\\" + components[2] + L"\\" + components[3] + L"\\", 4};
    }
    return {L"", 0};
}

std::wstring SettingMessage(const std::wstring& backupDir, const std::wstring& problem) {
    return L"The backup directory " + backupDir + L" " + problem +
           L" Check the setting BackupDir in QuarnBackup.ini. Nothing was backed up.";
}

}  // namespace

void CreateDirectoryChain(Platform& platform, const std::wstring& path,
                          const ProgressReport& report) {
    const PathRoot start = RootOf(path);
    const Result<bool> rootThere = platform.IsDirectory(start.root);
    if (start.root.empty() || !rootThere || !*rootThere) {
        const std::wstring reason = rootThere ? L"" : L" (" + platform.ErrorText(rootThere.Error()) + L")";
        throw RunStopped(ExitCode::BackupDirUnusable,
                         SettingMessage(path, L"cannot be created: its drive or network share " +
                                                  start.root + L" cannot be reached" + reason + L"."));
    }
    report(L"Drive is : " + start.root);

    // Each level by its full path, so that a level that is not there cannot send the
    // next one anywhere else.
    const std::vector<std::wstring> components = SplitAtBackslash(path);
    std::wstring level = start.root;
    for (std::size_t i = start.firstLevel; i < components.size(); ++i) {
        level = JoinPath(level, components[i]);
        // An existing level fails to be made and is simply used.
        const Status made = platform.MakeDirectory(level);
        report(L"made dir : " + components[i]);
        const Result<bool> there = platform.IsDirectory(level);
        if (!there || !*there) {
            const std::uint32_t error = !there ? there.Error() : made.Error();
            throw RunStopped(ExitCode::BackupDirUnusable,
                             SettingMessage(path, L"could not be created: the folder " + level +
                                                      L" cannot be made or entered (" +
                                                      platform.ErrorText(error) + L")."));
        }
        report(level.size() > start.root.size() && level.back() == L'\\'
                   ? level.substr(0, level.size() - 1)
                   : level);
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
    const Result<bool> exists = platform.IsDirectory(backupDir);
    if (exists && *exists) return;
    if (platform.StampOf(backupDir)) {
        throw RunStopped(ExitCode::SettingInvalid,
                         SettingMessage(backupDir, L"is a file, not a folder."));
    }
    CreateDirectoryChain(platform, backupDir, report);
}

}  // namespace quarn
