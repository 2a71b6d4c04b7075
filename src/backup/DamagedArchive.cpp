#include "backup/DamagedArchive.h"

#include <algorithm>

#include "backup/ArchiveRecord.h"
#include "common/RunStopped.h"

namespace quarn {

std::wstring DamagedArchivePath(const std::wstring& archivePath, std::int64_t day, int counter) {
    std::wstring date = DayText(day);
    date.erase(std::remove(date.begin(), date.end(), L'-'), date.end());
    const std::size_t nameStart = archivePath.rfind(L'\\') + 1;
    const std::size_t dot = archivePath.rfind(L'.');
    const std::size_t stemEnd = dot == std::wstring::npos || dot < nameStart ? archivePath.size() : dot;
    return archivePath.substr(0, stemEnd) + L".damaged-" + date +
           (counter > 1 ? L"-" + std::to_wstring(counter) : L"") + archivePath.substr(stemEnd);
}

std::wstring SetAsideDamagedArchive(Platform& platform, const std::wstring& archivePath,
                                    const std::wstring& namesPath, std::int64_t day) {
    std::wstring aside;
    for (int counter = 1;; ++counter) {
        aside = DamagedArchivePath(archivePath, day, counter);
        const Result<FileStamp> taken = platform.StampOf(aside);
        if (!taken && win32::IsNotFound(taken.Error())) {
            break;
        }
    }
    // Its names first: an archive set aside is never without them, where it had them.
    const Result<std::string> names = platform.ReadFileBytes(namesPath);
    Status kept;
    if (names) {
        kept = platform.WriteFileBytes(aside + L".names", *names);
    } else if (!win32::IsNotFound(names.Error())) {
        kept = Failed{names.Error()};
    }
    if (kept) kept = platform.MoveFileOver(archivePath, aside);
    if (!kept) {
        throw RunStopped(ExitCode::ArchiverFailed,
                         L"The archive " + archivePath + L" is damaged, and it could not be set "
                         L"aside as " + aside + L": " + platform.ErrorText(kept.Error()) +
                             L" Nothing was added to it. Move it away, and the next run starts a "
                             L"new archive; salvage what it holds with \"rar r\".");
    }
    return aside;
}

}  // namespace quarn
