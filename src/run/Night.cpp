#include "run/Night.h"

#include "common/Calendar.h"
#include "common/Counted.h"
#include "names/LogNaming.h"
#include "staging/CarryOver.h"
#include "staging/LogListing.h"
#include "staging/StagingSpace.h"

namespace quarn {
namespace {

const wchar_t kNothingBackedUp[] = L"Nothing was backed up.";

// What the archive holds before anything is added: for a new archive in place of one
// set aside, what that one still yields. False when the archive is damaged.
bool ReadArchiveBefore(Platform& platform, const NightPlace& place, Tonight& night) {
    if (night.before) return true;
    if (!night.kind.archiveExists && !place.setAside.empty()) {
        night.before = ByFoldedName(platform, IntactEntries(platform, place.setAside));
        return true;
    }
    ArchiveContents contents = ArchiveContentsOf(platform, place.archivePath, kNothingBackedUp);
    if (contents.damage) {
        night.result.damage = std::move(contents.damage);
        return false;
    }
    night.before = ByFoldedName(platform, std::move(contents.entries));
    return true;
}

void AddTo(std::wstring& text, const std::wstring& more) {
    if (!more.empty()) text += (text.empty() ? L"" : L" ") + more;
}

// The archive, tested when due; in a full run its own headers hold every name it holds.
// False when it is damaged.
bool LookAtArchive(Platform& platform, const NightPlace& place, bool namesWhole, Tonight& night) {
    if (!night.kind.archiveExists) return true;
    const DueTest test = TestIfDue(platform, place.archivePath, place.programFolder, place.archiverTimeoutMs,
                                   night.names.Archive(), night.kind.full, night.today, night.Note());
    night.result.damage = test.damage;
    if (test.damage) return false;
    night.testedWhole = test.tested;
    if (!night.kind.full) return true;
    if (!ReadArchiveBefore(platform, place, night)) return false;
    const std::size_t held = ReserveArchiveNames(night.names, *night.before);
    if (!namesWhole || held > 0) {
        AddTo(night.result.namesNote,
              Counted(held, L"name was", L"names were") + L" recovered from the archive's own headers.");
    }
    return true;
}

// The copies, each judged by what the archive holds under its name, once the space
// for them is known to be there.
void StageCopies(Platform& platform, const NightPlace& place, StagingFolder& staging,
                 const std::vector<std::size_t>& changed, Tonight& night) {
    const EntriesByName none;
    const EntriesByName& before = night.before ? *night.before : none;
    std::uint64_t copyBytes = 0;
    for (const std::size_t entry : changed) copyBytes += SpaceForCopy(platform, night.names.Entry(entry).source);
    // The archiver writes its new archive first as a whole copy in the staging folder.
    if (night.kind.archiveExists) copyBytes += SpaceForCopy(platform, place.archivePath);
    CheckStagingSpace(platform, changed.size(), copyBytes, staging.Path());
    CopyChangedLogs(platform, staging, night.names, changed, before, night.staged);
    TakeLeftovers(platform, staging, night.names, before, night.staged);
    SettleEarlierCopies(platform, staging, night.names, before,
                        night.kind.archiveExists ? place.archivePath : place.setAside, place.programFolder,
                        place.archiverTimeoutMs, night.staged, night.Note());
}

}  // namespace

std::wstring Tonight::Notes() const {
    std::wstring text;
    for (const std::wstring& note : notes) AddTo(text, note);
    return text;
}

Tonight StageNight(Platform& platform, const NightPlace& place, StagingFolder& staging) {
    Tonight night(platform, place);
    StagingResult& result = night.result;
    night.today = DayNumber(platform.Now());
    night.computer = ThisComputer(platform);
    const bool namesWhole = night.namesFile.Load(night.names);
    if (night.names.Archive()) {
        RefuseAnotherComputersList(platform, place.archivePath, night.names.Archive()->computer,
                                   night.computer);
    }
    // A copy under a name that no one holds goes to the archive under that name.
    const std::vector<std::wstring> leftovers = staging.LeftoverNames();
    for (const std::wstring& name : leftovers) night.names.Reserve(name);

    // 1. The kind of run.
    night.kind = DecideRunKind(platform, place.archivePath, place.dataDir, night.names, namesWhole,
                               !leftovers.empty(), night.today,
                               place.setAside.empty() ? L"" : L"the archive was damaged and set aside");
    result.fullRunReason = night.kind.reason;
    result.namesNote = night.namesFile.Note();

    // 2. The archive as it is.
    if (!LookAtArchive(platform, place, namesWhole, night)) return night;

    // 3. The logs, each with its lasting name: every name is settled and kept before the
    // first copy, so that the archive never receives an entry under a name that the next
    // night might give to another log.
    LogNamer namer(night.names);
    result.listingNote = ListLogFiles(platform, place.dataDir, place.programFolder, place.listingTimeoutMs,
                                      [&namer](const std::wstring& log) { namer.Add(log); });
    const NamedLogs named = namer.Named(platform, night.before ? &*night.before : nullptr, result.namesNote);
    for (const std::wstring& log : named.unfit) {
        result.notCopied.push_back({log, L"No name that an archive entry may have can be made of its "
                                         L"path. It was not backed up."});
    }
    result.notFound = MarkMissing(night.names, named.entries, place.dataDir, night.today, place.archivePath);

    // 4. What changed. A full run trusts no record it did not make itself, and until the
    // night's outcome is recorded the next night cannot trust the records.
    const std::vector<std::size_t> changed =
        ChangedLogs(platform, night.names, named.entries, night.kind.full);
    result.unchanged = named.entries.size() - changed.size();
    if (night.kind.full) night.names.ClearRecords();
    const bool adding = !changed.empty() || !leftovers.empty();
    if (adding && night.names.Archive()) {
        ArchiveRecord unfinished = *night.names.Archive();
        unfinished.finished = false;
        night.names.SetArchive(unfinished);
    }
    night.namesFile.Save(night.names);

    // 5. The copies.
    if (adding && !ReadArchiveBefore(platform, place, night)) return night;
    StageCopies(platform, place, staging, changed, night);
    StagedCopies& staged = night.staged;
    result.rewritten = staged.replaced.size();

    // 6. In place of an archive set aside: what only that one held.
    if (!place.setAside.empty() && ReadArchiveBefore(platform, place, night)) {
        CarryOverFromSetAside(platform, staging, night.names, *night.before, place.setAside, night.today,
                              place.programFolder, place.archiverTimeoutMs, staged, night.Note());
        // The kept names are the list's before they are the archive's.
        night.namesFile.Save(night.names);
    }
    result.copied = staged.copied;
    result.earlierCopies = staged.earlierCopies;
    result.leftovers = staged.leftovers;
    result.staleLeftovers = staged.staleLeftovers;
    result.carried = staged.carried;
    result.lost = staged.lost;
    result.notCopied.insert(result.notCopied.end(), staged.notCopied.begin(), staged.notCopied.end());
    return night;
}

}  // namespace quarn
