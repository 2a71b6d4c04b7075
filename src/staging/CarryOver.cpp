#include "staging/CarryOver.h"

#include "archive/ArchiveExtract.h"
#include "archive/ArchiveReader.h"
#include "common/PathText.h"

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
    const std::wstring folder = JoinPath(programFolder, kEntryCheckFolder);
    static_cast<void>(platform.MakeDirectory(folder));  // or it is there
    std::vector<std::wstring> names;
    for (const EntryToCarry& carry : wanted) {
        names.push_back(carry.entry.name);
        static_cast<void>(platform.RemoveFile(JoinPath(folder, carry.entry.name)));
    }
    // A checksum error is expected here: what is intact still comes out.
    ExtractEntries(platform, damagedArchive, names, folder, programFolder, timeoutMs,
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

}  // namespace quarn
