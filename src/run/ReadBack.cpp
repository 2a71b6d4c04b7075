// The night's second half: keeping the past before the archiver, and reading the
// archive back after it.
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "archive/ArchiveCommand.h"
#include "archive/ArchiveRename.h"
#include "common/Counted.h"
#include "common/RunStopped.h"
#include "run/Night.h"

namespace quarn {
namespace {

// Records the archive as the night leaves it and saves the list.
Status RecordOutcome(Platform& platform, const NightPlace& place, Tonight& night, bool allConfirmed) {
    StagingNames& names = night.names;
    const Result<FileStamp> stamp = platform.StampOf(place.archivePath);
    if (!stamp) {
        // No archive yet (nothing was ever archived): nothing to record it by.
        if (!win32::IsNotFound(stamp.Error())) return Failed{stamp.Error()};
        if (!names.Changed()) return {};
        return night.namesFile.SaveRecords(names);
    }
    const std::optional<ArchiveRecord> earlier = names.Archive();
    ArchiveRecord record;
    record.archive = ArchiveKey(platform, place.archivePath);
    record.stamp = *stamp;
    if (const Result<FileIdentity> identity = platform.IdentityOf(place.archivePath)) {
        record.identity = *identity;
    }
    record.lastFullRunDay = night.kind.full || !earlier ? night.today : earlier->lastFullRunDay;
    record.finished = true;
    record.computer = night.computer;
    // An archive the night made holds nothing but what was just read back.
    if (night.testedWhole || (!night.kind.archiveExists && allConfirmed)) {
        record.lastTestDay = night.today;
    } else if (earlier) {
        record.lastTestDay = earlier->lastTestDay;
    }
    const bool same = earlier && earlier->archive == record.archive && earlier->stamp == record.stamp &&
                      earlier->identity == record.identity && earlier->finished &&
                      earlier->computer == record.computer && earlier->lastTestDay == record.lastTestDay &&
                      earlier->lastFullRunDay == record.lastFullRunDay;
    if (!same) names.SetArchive(record);
    if (night.kind.full) names.SetLastFullRun(platform.FoldCase(place.dataDir), night.today);
    if (!names.Changed()) return {};
    return night.namesFile.SaveRecords(names);
}

// The archive's entries pass one at a time: each marks found the copies of its name that
// it holds as staged. Its names are kept (held) only where a list set aside must shrink
// to them. Why the archive is damaged, or none.
std::optional<std::wstring> FindCopies(Platform& platform, const NightPlace& place,
                                       const std::vector<StagedCopy>& copies, std::vector<bool>& found,
                                       std::unordered_set<std::wstring>& held) {
    std::unordered_multimap<std::wstring, std::size_t> copiesByName;
    for (std::size_t i = 0; i < copies.size(); ++i) copiesByName.emplace(platform.FoldCase(copies[i].name), i);
    return VisitArchiveEntries(
        platform, place.archivePath,
        L"What the archive holds cannot be told, so no log is taken for archived: the next run "
        L"archives them again.",
        [&](ArchiveEntry&& entry) {
            std::wstring folded = platform.FoldCase(entry.name);
            const auto [first, last] = copiesByName.equal_range(folded);
            for (auto copy = first; copy != last; ++copy) {
                const ContentCheck& content = copies[copy->second].content;
                if (entry.size == content.size && entry.crc32 == content.crc) found[copy->second] = true;
            }
            if (!place.setAside.empty()) held.insert(std::move(folded));
        });
}

}  // namespace

void KeepThePast(Platform& platform, const NightPlace& place, const std::wstring& stagingFolder,
                 Tonight& night) {
    const std::vector<ReplacedEntry>& replaced = night.staged.replaced;
    if (replaced.empty()) return;
    std::vector<EntryRename> renames;
    renames.reserve(replaced.size());
    for (const ReplacedEntry& entry : replaced) {
        renames.push_back({night.names.Entry(entry.name).name, night.names.KeepVersion(entry.name, night.today),
                           entry.held});
    }
    // The kept names are the list's before they are the archive's.
    night.namesFile.Save(night.names);
    // In the staging folder: the archiver rewrites the archive through a temporary copy in
    // the folder it runs in, and a run ended midway leaves it where the next run clears it.
    RenameEntries(platform, place.archivePath, renames, stagingFolder, place.programFolder,
                  place.archiverTimeoutMs, night.Note());
    for (const ReplacedEntry& entry : replaced) {
        if (night.names.IsLog(entry.name)) night.names.SetRecord(entry.name, std::nullopt);
    }
}

Confirmation ConfirmNight(Platform& platform, const NightPlace& place, Tonight& night, bool archiverRan,
                          std::uint32_t archiverExitCode) {
    Confirmation confirmation;
    night.before.reset();  // what the archive held before: not held twice at once
    const std::vector<StagedCopy>& copies = night.staged.copies;
    std::vector<bool> found(copies.size(), false);
    std::unordered_set<std::wstring> held;
    if (archiverRan) {
        confirmation.damage = FindCopies(platform, place, copies, found, held);
        if (confirmation.damage) return confirmation;
    }
    for (const std::size_t entry : night.staged.failedLogs) night.names.SetRecord(entry, std::nullopt);
    for (std::size_t i = 0; i < copies.size(); ++i) {
        const StagedCopy& copy = copies[i];
        const bool confirmed = found[i];
        if (copy.log) night.names.SetRecord(*copy.log, confirmed ? copy.record : std::nullopt);
        if (!confirmed) {
            confirmation.missing.push_back(copy.name);
        } else {
            ++(copy.fresh ? confirmation.confirmed : confirmation.confirmedEarlier);
        }
    }
    // A checksum error in an archive whose headers read whole is the archiver's failure,
    // not damage: the archive stays.
    if (archiverExitCode == kArchiverDamagedArchive) {
        throw RunStopped(ExitCode::ArchiverFailed,
                         L"The RAR archiver failed with exit code 3 (" +
                             DescribeArchiverExit(kArchiverDamagedArchive) + L") while writing " +
                             place.archivePath + L", and its headers read whole. " +
                             Counted(confirmation.confirmed + confirmation.confirmedEarlier, L"copy is",
                                     L"copies are") +
                             L" in it; the next run archives the others again. Check the archive "
                             L"with \"rar t\".");
    }
    // A new archive for one set aside: the list names no more than it holds.
    if (!place.setAside.empty()) {
        confirmation.forgotten = night.names.ForgetUnheld(
            [&](const std::wstring& name) { return held.count(platform.FoldCase(name)) > 0; });
    }
    confirmation.recorded = RecordOutcome(platform, place, night, confirmation.missing.empty());
    return confirmation;
}

}  // namespace quarn
