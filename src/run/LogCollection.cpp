#include "run/LogCollection.h"

#include <algorithm>
#include <map>
#include <set>
#include <utility>

#include "archive/ArchiveCommand.h"
#include "archive/ArchiveExtract.h"
#include "archive/ArchiveTest.h"
#include "common/Counted.h"
#include "common/LocalTime.h"
#include "common/PathText.h"
#include "common/RunStopped.h"
#include "names/NameRecovery.h"
#include "names/StagedName.h"
#include "staging/CarryOver.h"
#include "staging/LogListing.h"
#include "staging/StagingSpace.h"

namespace quarn {
namespace {

const wchar_t kNothingBackedUp[] = L"Nothing was backed up.";

}  // namespace

LogCollection::LogCollection(Platform& platform, std::wstring dataDir, std::wstring archivePath,
                             std::wstring programFolder, StagingFolder& staging,
                             std::uint32_t listingTimeoutMs, std::uint32_t archiverTimeoutMs,
                             std::wstring forcedFullRunReason, std::wstring setAside)
    : platform_(platform),
      dataDir_(std::move(dataDir)),
      archivePath_(std::move(archivePath)),
      programFolder_(std::move(programFolder)),
      staging_(staging),
      listingTimeoutMs_(listingTimeoutMs),
      archiverTimeoutMs_(archiverTimeoutMs),
      forcedFullRunReason_(std::move(forcedFullRunReason)),
      setAside_(std::move(setAside)),
      names_(platform),
      namesFile_(platform, archivePath_, programFolder_) {}

std::wstring& LogCollection::NoteSlot() { return notes_.emplace_back(); }

LogCollection::EntriesByName LogCollection::ByFoldedName(std::vector<ArchiveEntry> entries) const {
    EntriesByName byName;
    for (ArchiveEntry& entry : entries) {
        std::wstring folded = platform_.FoldCase(entry.name);
        byName.emplace(std::move(folded), std::move(entry));
    }
    return byName;
}

const ArchiveEntry* LogCollection::HeldBefore(const std::wstring& name) const {
    const auto [first, last] = before_->equal_range(platform_.FoldCase(name));
    return first == last ? nullptr : &first->second;
}

std::wstring LogCollection::Notes() const {
    std::wstring text;
    for (const std::wstring& note : notes_) {
        if (!note.empty()) text += (text.empty() ? L"" : L" ") + note;
    }
    return text;
}

std::wstring LogCollection::ArchiveKey() {
    const Result<std::wstring> full = platform_.FullPath(archivePath_);
    if (!full) {
        throw RunStopped(ExitCode::SettingInvalid,
                         L"The archive's path " + archivePath_ + L" cannot be made a full path: " +
                             platform_.ErrorText(full.Error()) +
                             L" Check BackupDir and ZipFile in QuarnBackup.ini. Nothing was "
                             L"backed up.");
    }
    return platform_.FoldCase(*full);
}

std::wstring LogCollection::ThisComputer() {
    const Result<std::wstring> name = platform_.ComputerName();
    if (!name) {
        throw RunStopped(ExitCode::UnexpectedError,
                         L"The backup could not learn this computer's name: " +
                             platform_.ErrorText(name.Error()) + L" " + kNothingBackedUp);
    }
    return *name;
}

// Two computers whose logs have the same paths would each night overwrite the other's
// entries under the same names.
void LogCollection::RefuseAnotherComputersList(const std::wstring& computer) {
    if (computer.empty() || platform_.FoldCase(computer) == platform_.FoldCase(computer_)) return;
    throw RunStopped(ExitCode::SettingInvalid,
                     L"The archive " + archivePath_ + L" holds the logs of the computer " +
                         computer + L", and this computer is " + computer_ +
                         L". Two computers must not back up into one archive: set another "
                         L"ZipFile in QuarnBackup.ini for this computer. If this is the same "
                         L"computer under a new name, delete the first line (the one that begins "
                         L"with :archive) of " + NamesFilePath(archivePath_) +
                         L" in Notepad, and the next run takes the list over. " + kNothingBackedUp);
}

std::wstring LogCollection::FullRunReason(bool namesWhole, bool leftovers) {
    ArchiveState state;
    if (namesWhole) state.recorded = names_.Archive();
    state.archive = ArchiveKey();
    const Result<FileStamp> stamp = platform_.StampOf(archivePath_);
    if (stamp) {
        state.stamp = *stamp;
    } else if (!win32::IsNotFound(stamp.Error())) {
        state.unreadable = platform_.ErrorText(stamp.Error());
    }
    archiveExists_ = stamp.Ok();
    // Where the file system has file IDs.
    if (const Result<FileIdentity> identity = platform_.IdentityOf(archivePath_)) {
        state.identity = *identity;
    }
    state.today = today_;
    state.lastFullRunOfDataDir = names_.LastFullRun(platform_.FoldCase(dataDir_));
    state.leftovers = leftovers;
    if (!forcedFullRunReason_.empty()) return forcedFullRunReason_;
    return quarn::FullRunReason(state);
}

// Tests the archive when a full run is to rebuild the records, or when its last test
// is a week old; in a full run also learns what each entry holds, and holds every
// name the list lacks.
void LogCollection::ReadArchiveWhole(StagingResult& result, bool namesWhole) {
    if (!archiveExists_) return;
    const std::optional<ArchiveRecord>& recorded = names_.Archive();
    const bool testDue = fullRun_ || !recorded || today_ - recorded->lastTestDay > kTestDays ||
                         recorded->lastTestDay > today_;
    if (testDue) {
        result.damage = TestArchive(platform_, archivePath_, programFolder_, archiverTimeoutMs_,
                                    kNothingBackedUp, NoteSlot());
        if (result.damage) return;
        testedWhole_ = true;
    }
    if (!fullRun_ || !ReadArchiveBefore(result)) return;
    std::size_t held = 0;
    for (const auto& [folded, entry] : *before_) held += names_.Reserve(entry.name) ? 1 : 0;
    if (!namesWhole || held > 0) {
        result.namesNote += std::wstring(result.namesNote.empty() ? L"" : L" ") +
                            Counted(held, L"name was", L"names were") +
                            L" recovered from the archive's own headers.";
    }
}

bool LogCollection::ReadArchiveBefore(StagingResult& result) {
    if (before_) return true;
    // A new archive for one set aside: what the run replaces is what that one holds.
    if (!archiveExists_ && !setAside_.empty()) {
        before_ = ByFoldedName(IntactEntries(platform_, setAside_));
        return true;
    }
    ArchiveContents contents = ArchiveContentsOf(platform_, archivePath_, kNothingBackedUp);
    if (contents.damage) {
        result.damage = std::move(contents.damage);
        return false;
    }
    before_ = ByFoldedName(std::move(contents.entries));
    return true;
}

std::vector<std::size_t> LogCollection::ListAndName(StagingResult& result) {
    std::vector<std::size_t> entries;
    // Logs the list does not know, and where each goes in entries.
    std::vector<UnnamedLog> unnamed;
    std::vector<std::size_t> slots;
    result.listingNote = ListLogFiles(platform_, dataDir_, programFolder_, listingTimeoutMs_,
                                      [&](const std::wstring& log) {
        const std::optional<std::wstring> flattened = FlattenedName(log);
        if (!flattened) {
            result.notCopied.push_back({log, L"No name that an archive entry may have can be "
                                             L"made of its path. It was not backed up."});
            return;
        }
        if (const std::optional<std::size_t> known = names_.Known(log)) {
            entries.push_back(*known);
            return;
        }
        unnamed.push_back({log, *flattened});
        slots.push_back(entries.size());
        entries.push_back(0);
    });
    std::vector<std::optional<std::size_t>> taken(unnamed.size());
    // Where the archive was read, a log takes back an entry that proves itself its own.
    if (before_ && !unnamed.empty()) {
        taken = TakeBackEntries(
            platform_, names_, unnamed,
            [this](const std::wstring& name) { return HeldBefore(name); }, result.namesNote);
    }
    for (std::size_t i = 0; i < unnamed.size(); ++i) {
        entries[slots[i]] = taken[i] ? *taken[i] : names_.Claim(unnamed[i].source, unnamed[i].flattenedName);
    }
    return entries;
}

// A log that is not found is told once, on the run that first misses it.
void LogCollection::MarkMissing(StagingResult& result, const std::vector<std::size_t>& listed) {
    std::vector<bool> found(names_.Size(), false);
    for (const std::size_t entry : listed) found[entry] = true;
    std::size_t known = 0;
    for (const std::size_t entry : names_.LogsUnder(dataDir_)) {
        ++known;
        if (found[entry]) {
            names_.SetMissingSince(entry, std::nullopt);
        } else if (!names_.MissingSince(entry)) {
            names_.SetMissingSince(entry, today_);
            ++result.notFound;
        }
    }
    if (listed.empty() && known > 0) {
        throw RunStopped(ExitCode::LogsVanished,
                         L"The mail data folder " + dataDir_ + L" (DataDir) holds no log files, "
                         L"but " + Counted(known, L"log was", L"logs were") +
                             L" backed up from it before. Has the mail client moved its data? "
                             L"Nothing was backed up, and " + NamesFilePath(archivePath_) +
                             L" was left as it was. This warning ends once a log is found there "
                             L"again.");
    }
}

void LogCollection::CopyChanged(StagingResult& result, const std::vector<std::size_t>& changed) {
    std::uint64_t copyBytes = 0;
    for (const std::size_t entry : changed) {
        copyBytes += SpaceForCopy(platform_, names_.Entry(entry).source);
    }
    // The archiver writes its new archive first as a whole copy in the staging folder.
    if (archiveExists_) copyBytes += SpaceForCopy(platform_, archivePath_);
    CheckStagingSpace(platform_, changed.size(), copyBytes, staging_.Path());

    for (const std::size_t entry : changed) {
        const StagedLog log = names_.Entry(entry);
        const ArchiveEntry* held = HeldBefore(log.name);
        const Result<CopiedFile> copy = staging_.Copy(
            log.source, log.name, held ? std::optional<std::uint64_t>(held->size) : std::nullopt);
        if (copy) {
            ++result.copied;
            staged_.push_back({log.name, copy->content, entry,
                               EntryRecord{{copy->content.size, copy->source.lastWrite,
                                            copy->source.changeTime},
                                           copy->content.crc},
                               true, {}, false, 0});
            // Rewritten rather than grown: what the archive holds of it is no part of it.
            if (held && (!held->crc32 || copy->content.prefixCrc != held->crc32)) {
                rewritten_.push_back({entry, *held});
            }
            continue;
        }
        notCopied_.push_back(entry);
        std::wstring reason = platform_.ErrorText(copy.Error());
        if (const std::optional<FolderEntry> earlier = staging_.KeepEarlierCopy(log.name)) {
            const Result<ContentCheck> check = platform_.CheckContent(
                earlier->name, held ? std::optional<std::uint64_t>(held->size) : std::nullopt);
            if (check) {
                ++result.earlierCopies;
                staged_.push_back({log.name, *check, entry, std::nullopt, false, earlier->name,
                                   false, result.notCopied.size()});
                reason += L" An earlier copy from " + LocalTimeText(earlier->lastWriteLocal, false) +
                          L" was archived instead.";
                result.notCopied.push_back({log.source, reason});
                continue;
            }
            staging_.Remove(earlier->name);
        }
        result.notCopied.push_back({log.source, reason + L" It was not backed up."});
    }
}

// Copies an earlier run left of logs that this run did not copy: each is archived
// once, unless it is older than what the archive holds under its name.
void LogCollection::TakeLeftovers(StagingResult& result) {
    for (const FolderEntry& leftover : staging_.KeepOtherLeftovers()) {
        const std::wstring name = leftover.name.substr(leftover.name.rfind(L'\\') + 1);
        const ArchiveEntry* held = HeldBefore(name);
        const Result<ContentCheck> check = platform_.CheckContent(
            leftover.name, held ? std::optional<std::uint64_t>(held->size) : std::nullopt);
        if (!check) {
            staging_.Remove(leftover.name);
            ++result.staleLeftovers;
            continue;
        }
        ++result.leftovers;
        staged_.push_back({name, *check, names_.LogNamed(name), std::nullopt, false, leftover.name,
                           true, 0});
    }
}

void LogCollection::SettleEarlierCopies(StagingResult& result) {
    std::vector<std::size_t> doubtful;  // in staged_
    for (std::size_t i = 0; i < staged_.size(); ++i) {
        const Staged& copy = staged_[i];
        const ArchiveEntry* held = copy.fresh ? nullptr : HeldBefore(copy.name);
        if (held && (!held->crc32 || copy.content.prefixCrc != held->crc32)) doubtful.push_back(i);
    }
    if (doubtful.empty()) return;
    // Which is older cannot be told from their times, which a clock or a copy may have
    // moved: only the entry's own bytes tell whether the copy is a beginning of them.
    const std::wstring folder = JoinPath(programFolder_, kEntryCheckFolder);
    static_cast<void>(platform_.MakeDirectory(folder));  // or it is there
    std::vector<std::wstring> names;
    for (const std::size_t i : doubtful) {
        names.push_back(staged_[i].name);
        static_cast<void>(platform_.RemoveFile(JoinPath(folder, staged_[i].name)));
    }
    if (platform_.IsDirectory(folder).Ok()) {
        ExtractEntries(platform_, archiveExists_ ? archivePath_ : setAside_, names, folder,
                       programFolder_, archiverTimeoutMs_, kNothingBackedUp, NoteSlot());
    }
    std::vector<bool> stale(staged_.size(), false);
    for (const std::size_t i : doubtful) {
        Staged& copy = staged_[i];
        const std::wstring entryBytes = JoinPath(folder, copy.name);
        const Result<ContentCheck> entry = platform_.CheckContent(entryBytes, copy.content.size);
        static_cast<void>(platform_.RemoveFile(entryBytes));
        const ArchiveEntry& held = *HeldBefore(copy.name);
        // Not the entry's own bytes, or not a beginning of them: the entry's past is kept.
        if (!entry || entry->size != held.size || entry->crc != held.crc32 ||
            entry->prefixCrc != copy.content.crc) {
            if (const std::optional<std::size_t> index = names_.Named(copy.name)) {
                rewritten_.push_back({*index, held});
            }
            continue;
        }
        stale[i] = true;
        staging_.Remove(copy.path);
        ++result.staleLeftovers;
        if (copy.leftover) {
            --result.leftovers;
            continue;
        }
        --result.earlierCopies;
        std::wstring& reason = result.notCopied[copy.notCopied].reason;
        reason = reason.substr(0, reason.find(L" An earlier copy from ")) +
                 L" The archive holds a later state of it than the copy an earlier run left, "
                 L"which was removed. It was not backed up.";
    }
    std::vector<Staged> kept;
    for (std::size_t i = 0; i < staged_.size(); ++i) {
        if (!stale[i]) kept.push_back(std::move(staged_[i]));
    }
    staged_ = std::move(kept);
}

void LogCollection::CarryOverFromSetAside(StagingResult& result) {
    if (!ReadArchiveBefore(result)) return;
    std::set<std::wstring> taken;
    for (const Staged& copy : staged_) taken.insert(platform_.FoldCase(copy.name));
    // What a rewritten log held goes to the new archive under its dated name.
    std::map<std::wstring, std::wstring> keptAs;
    for (const Replaced& replaced : rewritten_) {
        keptAs[platform_.FoldCase(names_.Entry(replaced.name).name)] = names_.KeepVersion(replaced.name, today_);
        if (names_.IsLog(replaced.name)) names_.SetRecord(replaced.name, std::nullopt);
    }
    rewritten_.clear();
    std::vector<EntryToCarry> wanted;
    for (auto entry = before_->begin(); entry != before_->end(); entry = before_->upper_bound(entry->first)) {
        if (!IsFitStagedName(entry->second.name)) continue;
        if (taken.count(entry->first) == 0) {
            wanted.push_back({entry->second, entry->second.name});
        } else if (const auto kept = keptAs.find(entry->first); kept != keptAs.end()) {
            wanted.push_back({entry->second, kept->second});
        }
    }
    // Past the damage the archive's headers cannot be read, but the archiver may still
    // yield the entries there that the list names, each checked by it against its CRC.
    for (const std::wstring& name : names_.AllNames()) {
        const std::wstring folded = platform_.FoldCase(name);
        if (before_->count(folded) == 0 && taken.count(folded) == 0 && IsFitStagedName(name)) {
            wanted.push_back({ArchiveEntry{name, 0, std::nullopt}, name});
        }
    }
    CarriedOver over = CarryOver(platform_, setAside_, wanted, staging_, programFolder_,
                                 archiverTimeoutMs_, NoteSlot());
    for (CarriedEntry& entry : over.carried) {
        names_.Reserve(entry.name);  // or it holds it already
        staged_.push_back({entry.name, entry.content, names_.LogNamed(entry.name), std::nullopt, false,
                           std::move(entry.path), true, 0});
    }
    result.carried = over.carried.size();
    result.lost = std::move(over.lost);
    // The kept names are the list's before they are the archive's.
    namesFile_.Save(names_);
}

StagingResult LogCollection::Stage() {
    StagingResult result;
    today_ = DayNumber(platform_.Now());
    computer_ = ThisComputer();
    const bool namesWhole = namesFile_.Load(names_);
    if (names_.Archive()) RefuseAnotherComputersList(names_.Archive()->computer);
    const std::vector<std::wstring> leftovers = staging_.LeftoverNames();
    // A copy under a name that no one holds goes to the archive under that name.
    for (const std::wstring& name : leftovers) names_.Reserve(name);

    result.fullRunReason = FullRunReason(namesWhole, !leftovers.empty());
    fullRun_ = !result.fullRunReason.empty();
    result.namesNote = namesFile_.Note();
    ReadArchiveWhole(result, namesWhole);
    if (result.damage) return result;

    // Every name is settled and kept before the first copy: the archive must never
    // receive an entry under a name that the next run might give to another log.
    const std::vector<std::size_t> entries = ListAndName(result);
    MarkMissing(result, entries);

    std::vector<std::size_t> changed;
    for (const std::size_t entry : entries) {
        const std::optional<EntryRecord>& recorded = names_.Record(entry);
        if (fullRun_ || !recorded) {
            changed.push_back(entry);
            continue;
        }
        // One that cannot be looked at is copied: the copy then tells why it fails.
        const Result<FileStamp> stamp = platform_.StampOf(names_.Entry(entry).source);
        if (!stamp || *stamp != recorded->stamp) changed.push_back(entry);
    }
    result.unchanged = entries.size() - changed.size();
    // A full run trusts no record it did not make itself.
    if (fullRun_) names_.ClearRecords();
    if ((!changed.empty() || !leftovers.empty()) && names_.Archive()) {
        // Until the run's outcome is recorded, the next run cannot trust the records.
        ArchiveRecord unfinished = *names_.Archive();
        unfinished.finished = false;
        names_.SetArchive(unfinished);
    }
    namesFile_.Save(names_);

    // Every replacement is judged by what the archive holds under its name.
    if ((!changed.empty() || !leftovers.empty()) && !ReadArchiveBefore(result)) return result;
    CopyChanged(result, changed);
    TakeLeftovers(result);
    SettleEarlierCopies(result);
    result.rewritten = rewritten_.size();
    if (!setAside_.empty()) CarryOverFromSetAside(result);
    return result;
}

void LogCollection::KeepRewrittenVersions() {
    if (rewritten_.empty()) return;
    std::vector<EntryRename> renames;
    for (const Replaced& replaced : rewritten_) {
        renames.push_back({names_.Entry(replaced.name).name, names_.KeepVersion(replaced.name, today_),
                           replaced.held});
    }
    // The kept names are the list's before they are the archive's.
    namesFile_.Save(names_);
    // In the staging folder: the archiver rewrites the archive through a temporary copy in
    // the folder it runs in, and a run ended midway leaves it where the next run clears it.
    RenameEntries(platform_, archivePath_, renames, staging_.Path(), programFolder_,
                  archiverTimeoutMs_, NoteSlot());
    for (const Replaced& replaced : rewritten_) {
        if (names_.IsLog(replaced.name)) names_.SetRecord(replaced.name, std::nullopt);
    }
}

Confirmation LogCollection::ConfirmArchived(bool archiverRan, std::uint32_t archiverExitCode) {
    Confirmation confirmation;
    EntriesByName held;
    if (archiverRan) {
        ArchiveContents contents = ArchiveContentsOf(
            platform_, archivePath_,
            L"What the archive holds cannot be told, so no log is taken for archived: the next "
            L"run archives them again.");
        if (contents.damage) {
            confirmation.damage = std::move(contents.damage);
            return confirmation;
        }
        held = ByFoldedName(std::move(contents.entries));
    }
    for (const std::size_t entry : notCopied_) names_.SetRecord(entry, std::nullopt);
    for (const Staged& copy : staged_) {
        const auto [first, last] = held.equal_range(platform_.FoldCase(copy.name));
        const bool confirmed = std::any_of(first, last, [&](const auto& hit) {
            return hit.second.size == copy.content.size && hit.second.crc32 == copy.content.crc;
        });
        if (copy.log) names_.SetRecord(*copy.log, confirmed ? copy.record : std::nullopt);
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
                             archivePath_ + L", and its headers read whole. " +
                             Counted(confirmation.confirmed + confirmation.confirmedEarlier,
                                     L"copy is", L"copies are") +
                             L" in it; the next run archives the others again. Check the "
                             L"archive with \"rar t\".");
    }
    // A new archive for one set aside: the list names no more than it holds.
    if (!setAside_.empty()) {
        confirmation.forgotten = names_.ForgetUnheld(
            [&](const std::wstring& name) { return held.count(platform_.FoldCase(name)) > 0; });
    }
    confirmation.recorded = RecordOutcome(confirmation.missing.empty());
    return confirmation;
}

Status LogCollection::RecordOutcome(bool allConfirmed) {
    const Result<FileStamp> stamp = platform_.StampOf(archivePath_);
    if (!stamp) {
        // No archive yet (nothing was ever archived): nothing to record it by.
        if (!win32::IsNotFound(stamp.Error())) return Failed{stamp.Error()};
        if (!names_.Changed()) return {};
        return namesFile_.SaveRecords(names_);
    }
    const std::optional<ArchiveRecord> earlier = names_.Archive();
    ArchiveRecord record;
    record.archive = ArchiveKey();
    record.stamp = *stamp;
    if (const Result<FileIdentity> identity = platform_.IdentityOf(archivePath_)) {
        record.identity = *identity;
    }
    record.lastFullRunDay = fullRun_ || !earlier ? today_ : earlier->lastFullRunDay;
    record.finished = true;
    record.computer = computer_;
    // An archive this run made holds nothing but what was just read back.
    if (testedWhole_ || (!archiveExists_ && allConfirmed)) {
        record.lastTestDay = today_;
    } else if (earlier) {
        record.lastTestDay = earlier->lastTestDay;
    }
    const bool same = earlier && earlier->archive == record.archive &&
                      earlier->stamp == record.stamp && earlier->identity == record.identity &&
                      earlier->finished && earlier->computer == record.computer &&
                      earlier->lastTestDay == record.lastTestDay &&
                      earlier->lastFullRunDay == record.lastFullRunDay;
    if (!same) names_.SetArchive(record);
    if (fullRun_) names_.SetLastFullRun(platform_.FoldCase(dataDir_), today_);
    if (!names_.Changed()) return {};
    return namesFile_.SaveRecords(names_);
}

}  // namespace quarn
