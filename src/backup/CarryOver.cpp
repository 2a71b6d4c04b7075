#include "backup/CarryOver.h"

#include <set>

#include "archive/ArchiveReader.h"
#include "backup/ArchiveUpdate.h"
#include "backup/StagedName.h"
#include "common/PathText.h"

namespace quarn {
namespace {

// Whatever its headers still give, up to any damage; nothing from one that cannot be read.
std::vector<ArchiveEntry> IntactEntries(Platform& platform, const std::wstring& archive) {
    Result<std::unique_ptr<ReadableFile>> file = platform.OpenForReading(archive);
    if (!file) return {};
    Result<ArchiveReading> reading = ReadArchive(**file);
    if (!reading || reading->verdict == ArchiveReading::Verdict::Unreadable) return {};
    return std::move(reading->entries);
}

}  // namespace

CarriedOver CarryOver(Platform& platform, const std::wstring& damagedArchive,
                      const std::function<bool(const std::wstring& name)>& taken,
                      StagingFolder& staging, const std::wstring& programFolder,
                      std::uint32_t timeoutMs, std::wstring& note) {
    std::vector<ArchiveEntry> wanted;
    std::set<std::wstring> seen;  // a name held twice: its first entry, as the archiver replaces it
    for (ArchiveEntry& entry : IntactEntries(platform, damagedArchive)) {
        if (!IsFitStagedName(entry.name) || taken(entry.name) ||
            !seen.insert(platform.FoldCase(entry.name)).second) {
            continue;
        }
        wanted.push_back(std::move(entry));
    }
    CarriedOver result;
    if (wanted.empty()) return result;
    const std::wstring folder = JoinPath(programFolder, kEntryCheckFolder);
    static_cast<void>(platform.MakeDirectory(folder));  // or it is there
    std::vector<std::wstring> names;
    for (const ArchiveEntry& entry : wanted) {
        names.push_back(entry.name);
        static_cast<void>(platform.RemoveFile(JoinPath(folder, entry.name)));
    }
    // A checksum error is expected here: what is intact still comes out.
    ExtractEntries(platform, damagedArchive, names, folder, programFolder, timeoutMs,
                   L"Nothing was added to the new archive.", note);
    for (const ArchiveEntry& entry : wanted) {
        const std::wstring extracted = JoinPath(folder, entry.name);
        const Result<ContentCheck> check = platform.CheckContent(extracted, std::nullopt);
        if (!check || check->size != entry.size || check->crc != entry.crc32) {
            static_cast<void>(platform.RemoveFile(extracted));
            result.lost.push_back(entry.name);
            continue;
        }
        const Result<std::wstring> placed = staging.Place(extracted, entry.name);
        if (!placed) {
            static_cast<void>(platform.RemoveFile(extracted));
            result.lost.push_back(entry.name);
            continue;
        }
        result.carried.push_back({entry.name, *placed, *check});
    }
    return result;
}

}  // namespace quarn
