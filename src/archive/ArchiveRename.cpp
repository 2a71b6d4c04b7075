#include "archive/ArchiveRename.h"

#include <algorithm>

#include "archive/ArchiveCommand.h"
#include "archive/ArchiveContents.h"
#include "archive/ArchiverRun.h"
#include "common/PathText.h"
#include "common/RunStopped.h"

namespace quarn {
namespace {

// The archiver reads the renames from this list, in the program's folder.
constexpr wchar_t kRenameList[] = L"archiverenames.tmp";

bool SameName(Platform& platform, const std::wstring& a, const std::wstring& b) {
    return platform.FoldCase(a) == platform.FoldCase(b);
}

}  // namespace

void RenameEntries(Platform& platform, const std::wstring& archivePath,
                   const std::vector<EntryRename>& renames, const std::wstring& folder,
                   const std::wstring& listFolder, std::uint32_t timeoutMs, std::wstring& note) {
    if (renames.empty()) return;
    const std::wstring consequence =
        L"Nothing was added to the archive, so nothing it held was replaced; the next run "
        L"tries again.";
    const auto stop = [&](const std::wstring& what) {
        throw RunStopped(ExitCode::ArchiverFailed, L"The earlier versions of rewritten logs could "
                                                   L"not be kept in " + archivePath + L": " +
                                                       what + L" " + consequence);
    };
    std::vector<std::wstring> pairs;
    for (const EntryRename& rename : renames) {
        pairs.push_back(rename.from);
        pairs.push_back(rename.to);
    }
    const std::wstring listFile = JoinPath(listFolder, kRenameList);
    const std::uint32_t exitCode =
        RunArchiverWithList(platform, listFile, pairs, RenameCommand(archivePath, listFile), folder,
                    timeoutMs, L"keeping earlier versions in " + archivePath, consequence, note);
    if (exitCode != kArchiverSuccess) {
        stop(L"the RAR archiver failed with exit code " + std::to_wstring(exitCode) + L" (" +
             DescribeArchiverExit(exitCode) + L").");
    }
    const ArchiveContents after = ArchiveContentsOf(platform, archivePath, consequence);
    if (after.damage) stop(L"read back after the renaming, it " + *after.damage + L".");
    for (const EntryRename& rename : renames) {
        const auto named = [&](const std::wstring& name) {
            return [&platform, name](const ArchiveEntry& entry) { return SameName(platform, entry.name, name); };
        };
        const bool oldGone = std::none_of(after.entries.begin(), after.entries.end(), named(rename.from));
        const bool kept = std::any_of(after.entries.begin(), after.entries.end(), [&](const ArchiveEntry& entry) {
            return SameName(platform, entry.name, rename.to) && entry.size == rename.held.size &&
                   entry.crc32 == rename.held.crc32;
        });
        if (!oldGone || !kept) {
            stop(L"read back after the renaming, it does not hold what " + rename.from +
                 L" held under " + rename.to + (oldGone ? L"." : L", and still holds " + rename.from + L"."));
        }
    }
}

}  // namespace quarn
