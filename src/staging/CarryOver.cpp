#include "staging/CarryOver.h"

#include <map>
#include <set>
#include <utility>

#include "archive/ArchiveExtract.h"
#include "archive/ArchiveReader.h"
#include "common/PathText.h"
#include "names/StagedName.h"

namespace quarn {

std::vector<ArchiveEntry> IntactEntries(Platform& platform, const std::wstring& archive) {
    Result<std::unique_ptr<ReadableFile>> file = platform.OpenForReading(archive);
    if (!file) return {};
    Result<ArchiveReading> reading = ReadArchive(**file);
    if (!reading || reading->verdict == ArchiveReading::Verdict::Unreadable) return {};
    return std::move(reading->entries);
}

CarriedOver CarryOver(Platform& platform, const std::wstring& damagedArchive,
                      const std::vector<EntryToCarry>& wanted, StagingFolder& staging,
                      const std::wstring& programFolder, std::uint32_t timeoutMs, std::wstring& note) {
    CarriedOver result;
    if (wanted.empty()) return result;
    std::vector<std::wstring> names;
    names.reserve(wanted.size());
    for (const EntryToCarry& carry : wanted) names.push_back(carry.entry.name);
    // A checksum error is expected here: what is intact still comes out.
    const std::wstring folder = ExtractToCheck(platform, damagedArchive, names, programFolder, timeoutMs,
                                               L"Nothing was added to the new archive.", note);
    for (const EntryToCarry& carry : wanted) {
        const std::wstring extracted = JoinPath(folder, carry.entry.name);
        const Result<ContentCheck> check = platform.CheckContent(extracted, std::nullopt);
        // One the headers could not give was checked by the archiver as it came out.
        const bool whole = check && (!carry.entry.crc32 || (check->size == carry.entry.size &&
                                                            check->crc == carry.entry.crc32));
        const Result<std::wstring> placed =
            whole ? staging.Place(extracted, carry.as) : Result<std::wstring>(Failed{win32::kFileNotFound});
        if (!placed) {
            static_cast<void>(platform.RemoveFile(extracted));
            result.lost.push_back(carry.entry.name);
            continue;
        }
        result.carried.push_back({carry.as, *placed, *check});
    }
    return result;
}

void CarryOverFromSetAside(Platform& platform, StagingFolder& staging, StagingNames& names,
                           const EntriesByName& before, const std::wstring& setAside,
                           std::int64_t today, const std::wstring& programFolder,
                           std::uint32_t timeoutMs, StagedCopies& staged, std::wstring& note) {
    std::set<std::wstring> taken;
    for (const StagedCopy& copy : staged.copies) taken.insert(platform.FoldCase(copy.name));
    // What a rewritten log held goes to the new archive under its dated name.
    std::map<std::wstring, std::wstring> keptAs;
    for (const ReplacedEntry& replaced : staged.replaced) {
        keptAs[platform.FoldCase(names.Entry(replaced.name).name)] = names.KeepVersion(replaced.name, today);
        if (names.IsLog(replaced.name)) names.SetRecord(replaced.name, std::nullopt);
    }
    staged.replaced.clear();
    std::vector<EntryToCarry> wanted;
    for (auto entry = before.begin(); entry != before.end(); entry = before.upper_bound(entry->first)) {
        if (!IsFitStagedName(entry->second.name)) continue;
        if (taken.count(entry->first) == 0) {
            wanted.push_back({entry->second, entry->second.name});
        } else if (const auto kept = keptAs.find(entry->first); kept != keptAs.end()) {
            wanted.push_back({entry->second, kept->second});
        }
    }
    // Past the damage the archive's headers cannot be read, but the archiver may still
    // yield the entries there that the list names, each checked by it against its CRC.
    for (const std::wstring& name : names.AllNames()) {
        const std::wstring folded = platform.FoldCase(name);
        if (before.count(folded) == 0 && taken.count(folded) == 0 && IsFitStagedName(name)) {
            wanted.push_back({ArchiveEntry{name, 0, std::nullopt}, name});
        }
    }
    CarriedOver over = CarryOver(platform, setAside, wanted, staging, programFolder, timeoutMs, note);
    for (CarriedEntry& entry : over.carried) {
        names.Reserve(entry.name);  // or it holds it already
        staged.copies.push_back({entry.name, entry.content, names.LogNamed(entry.name), std::nullopt, false,
                                 std::move(entry.path), true, 0});
    }
    staged.carried = over.carried.size();
    staged.lost = std::move(over.lost);
}

}  // namespace quarn
