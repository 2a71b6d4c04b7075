#include "archive/DamagedArchive.h"

#include <algorithm>

#include "common/Calendar.h"
#include "common/FreeName.h"
#include "common/PathText.h"
#include "common/RunStopped.h"
#include "common/WindowsNames.h"

namespace quarn {
namespace {

// Days with more damaged archives than this are not a damaged archive but a drive
// that fails: the run stops rather than look further.
constexpr int kAsideNamesTried = 99;

}  // namespace

std::wstring DamagedArchivePath(const std::wstring& archivePath, std::int64_t day, int counter) {
    std::wstring date = DayText(day);
    date.erase(std::remove(date.begin(), date.end(), L'-'), date.end());
    const std::size_t nameStart = archivePath.rfind(L'\\') + 1;
    const std::size_t stemEnd = nameStart + ExtensionStart(archivePath.substr(nameStart));
    const std::wstring mark = L".damaged-" + date + (counter > 1 ? L"-" + std::to_wstring(counter) : L"");
    const std::wstring extension = archivePath.substr(stemEnd);
    std::wstring stem = archivePath.substr(nameStart, stemEnd - nameStart);
    // Its names list goes beside it as "<aside>.names": that name too must fit.
    const std::size_t room = kLongestFileName - std::wstring(L".names").size();
    if (stem.size() + mark.size() + extension.size() > room) {
        stem.resize(room > mark.size() + extension.size() ? room - mark.size() - extension.size() : 0);
    }
    return archivePath.substr(0, nameStart) + stem + mark + extension;
}

std::wstring SetAsideDamagedArchive(Platform& platform, const std::wstring& archivePath,
                                    const std::wstring& namesPath, std::int64_t day) {
    const auto stop = [&](const std::wstring& aside, const std::wstring& why) {
        throw RunStopped(ExitCode::ArchiverFailed,
                         L"The archive " + archivePath + L" is damaged, and it could not be set "
                         L"aside" + (aside.empty() ? L"" : L" as " + aside) + L": " + why +
                             L" Nothing was added to it. Move it away, and the next run starts a "
                             L"new archive; salvage what it holds with \"rar r\".");
    };
    const auto nameFor = [&](int counter) { return DamagedArchivePath(archivePath, day, counter); };
    const std::optional<int> free = FirstFreeCounter(1, kAsideNamesTried, nameFor, [&](const std::wstring& name) {
        const Result<FileStamp> taken = platform.StampOf(name);
        // Whether the name is free cannot be told: never a rename that might replace a file.
        if (!taken && !win32::IsNotFound(taken.Error())) stop(name, platform.ErrorText(taken.Error()));
        return taken.Ok();
    });
    if (!free) stop({}, L"the names for archives set aside on this day are all taken.");
    std::wstring aside = nameFor(*free);
    // Its names first: an archive set aside is never without them, where it had them.
    const Result<std::string> names = platform.ReadFileBytes(namesPath);
    Status kept;
    if (names) {
        kept = platform.WriteFileBytes(aside + L".names", *names);
    } else if (!win32::IsNotFound(names.Error())) {
        kept = Failed{names.Error()};
    }
    if (kept) kept = platform.MoveFileOver(archivePath, aside);
    if (!kept) stop(aside, platform.ErrorText(kept.Error()));
    return aside;
}

}  // namespace quarn
