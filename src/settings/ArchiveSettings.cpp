#include "settings/ArchiveSettings.h"

#include <algorithm>

#include "common/RunStopped.h"
#include "common/WindowsNames.h"

namespace quarn {
namespace {

void StopForSetting(const std::wstring& key, const std::wstring& value, const std::wstring& problem) {
    throw RunStopped(ExitCode::SettingInvalid,
                     L"The setting " + key + L" in QuarnBackup.ini (" + value + L") " + problem +
                         L" Correct it and run the backup again. Nothing was backed up.");
}

}  // namespace

void CheckArchiveSettings(const std::wstring& backupDir, const std::wstring& zipFile) {
    if (backupDir.find(L'"') != std::wstring::npos) {
        StopForSetting(L"BackupDir", backupDir, L"contains a double quote, which no folder name can hold.");
    }
    if (zipFile.empty()) StopForSetting(L"ZipFile", zipFile, L"is empty: it must name the archive file.");
    if (zipFile.find_first_of(L"\\/") != std::wstring::npos) {
        StopForSetting(L"ZipFile", zipFile,
                       L"holds a \\ or /: it must be the archive's file name alone, such as "
                       L"QuarnLogsZip.rar; the folder is BackupDir.");
    }
    if (std::any_of(zipFile.begin(), zipFile.end(), IsInvalidNameCharacter)) {
        StopForSetting(L"ZipFile", zipFile,
                       L"contains a character that no file name can hold (\" * ? < > | : or a "
                       L"control character).");
    }
    if (IsDroppedAtNameEnd(zipFile.back())) {
        StopForSetting(L"ZipFile", zipFile,
                       L"ends in a space or a dot, which Windows drops from file names.");
    }
    if (IsDeviceName(zipFile)) {
        StopForSetting(L"ZipFile", zipFile,
                       L"is the name of a device (CON, PRN, AUX, NUL, COM1 to COM9 or LPT1 to "
                       L"LPT9), which Windows reserves also with an extension.");
    }
}

}  // namespace quarn
