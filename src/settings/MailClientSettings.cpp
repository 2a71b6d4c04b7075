#include "settings/MailClientSettings.h"

#include "common/RunStopped.h"
#include "settings/Registry.h"

namespace quarn {
namespace {

const wchar_t kOptionsOffMessage[] =
    L"You have not enabled Backup Incoming Messages \r\n"
    L"and Backup Outgoing Messages options in Becky.";

std::wstring ReadText(Platform& platform, const wchar_t* valueName) {
    return RegistryValueToText(ReadRegistryValue(platform, kMailClientKey, valueName));
}

[[noreturn]] void StopForDataDir(const std::wstring& found) {
    throw RunStopped(ExitCode::DataDirUnusable,
                     L"The mail data folder is not known: the registry value DataDir under "
                     L"HKEY_CURRENT_USER\\" + std::wstring(kMailClientKey) + L" " + found +
                         L". Start Becky once so that it records its data folder, then run the "
                         L"backup again.");
}

}  // namespace

std::wstring ReadMailClientDataDir(Platform& platform) {
    const RegistryValue dataDirValue =
        ReadRegistryValue(platform, kMailClientKey, L"DataDir");
    const std::wstring receivedBackLog = ReadText(platform, L"RecvBackLog");
    const std::wstring sentBackLog = ReadText(platform, L"SentBackLog");

    // Only "0" means off: an option that is missing does not stop the run.
    if (receivedBackLog == L"0" || sentBackLog == L"0") {
        throw RunStopped(ExitCode::OptionsOff, kOptionsOffMessage);
    }

    if (std::holds_alternative<std::monostate>(dataDirValue)) {
        StopForDataDir(L"is missing or cannot be read");
    }
    const auto* value = std::get_if<std::wstring>(&dataDirValue);
    if (value == nullptr) {
        StopForDataDir(L"holds the number " + RegistryValueToText(dataDirValue) +
                       L" instead of a folder");
    }
    // No Windows name ends in a space: trailing ones come from a hand edit.
    std::wstring dataDir = value->substr(0, value->find_last_not_of(L' ') + 1);
    if (dataDir.empty()) StopForDataDir(L"is empty");
    const Result<bool> isFolder = platform.IsDirectory(dataDir);
    if (!isFolder) {
        StopForDataDir(L"names " + dataDir + L", which cannot be reached: " +
                       platform.ErrorText(isFolder.Error()));
    }
    if (!*isFolder) StopForDataDir(L"names " + dataDir + L", which is not an existing folder");
    // Every later step names the logs by the folder's full path.
    Result<std::wstring> full = platform.FullPath(dataDir);
    if (!full) {
        StopForDataDir(L"names " + dataDir + L", which cannot be made a full path: " +
                       platform.ErrorText(full.Error()));
    }
    return full->back() == L'\\' ? *full : *full + L'\\';
}

}  // namespace quarn
