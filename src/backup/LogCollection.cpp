#include "backup/LogCollection.h"

#include <optional>
#include <utility>

#include "backup/ArchiveListing.h"
#include "backup/LogListing.h"
#include "backup/StagedName.h"
#include "backup/StagingSpace.h"
#include "common/LocalTime.h"
#include "common/RunStopped.h"

namespace quarn {

LogCollection::LogCollection(Platform& platform, std::wstring dataDir, std::wstring archivePath,
                             std::wstring workingFolder, StagingFolder& staging,
                             std::uint32_t listingTimeoutMs, std::uint32_t archiverTimeoutMs)
    : platform_(platform),
      dataDir_(std::move(dataDir)),
      archivePath_(std::move(archivePath)),
      workingFolder_(std::move(workingFolder)),
      staging_(staging),
      listingTimeoutMs_(listingTimeoutMs),
      archiverTimeoutMs_(archiverTimeoutMs),
      names_(platform),
      namesFile_(platform, archivePath_, workingFolder_) {}

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

std::wstring LogCollection::FullRunReason(bool namesWhole) {
    ArchiveState state;
    if (namesWhole) state.recorded = names_.Archive();
    state.archive = ArchiveKey();
    const Result<FileStamp> stamp = platform_.StampOf(archivePath_);
    if (stamp) {
        state.stamp = *stamp;
    } else if (stamp.Error() != win32::kFileNotFound && stamp.Error() != win32::kPathNotFound) {
        state.unreadable = platform_.ErrorText(stamp.Error());
    }
    // Where the file system has file IDs.
    if (const Result<FileIdentity> identity = platform_.IdentityOf(archivePath_)) {
        state.identity = *identity;
    }
    state.today = DayNumber(platform_.Now());
    state.leftovers = !staging_.LeftoverNames().empty();
    return quarn::FullRunReason(state);
}

StagingResult LogCollection::Stage() {
    StagingResult result;
    namesFile_.Load(names_, [&] {
        return ListArchiveNames(platform_, archivePath_, workingFolder_, archiverTimeoutMs_);
    });
    const bool namesWhole = namesFile_.ReadWhole();
    // A copy under a name that no one holds goes to the archive under that name.
    for (const std::wstring& name : staging_.LeftoverNames()) names_.Reserve(name);

    // Every name is settled and kept before the first copy: the archive must never
    // receive an entry under a name that the next run might give to another log.
    std::vector<std::size_t> entries;
    result.listingNote = ListLogFiles(platform_, dataDir_, workingFolder_, listingTimeoutMs_,
                                      [&](const std::wstring& log) {
        if (const std::optional<std::wstring> flattened = FlattenedName(log)) {
            entries.push_back(names_.Claim(log, *flattened));
        } else {
            result.notCopied.push_back({log, L"No name that an archive entry may have can be "
                                             L"made of its path. It was not backed up."});
        }
    });
    // Every listed log is known now: the others known under the folder have gone.
    const std::size_t known = names_.CountUnder(dataDir_);
    result.notFound = known > entries.size() ? known - entries.size() : 0;
    if (entries.empty() && result.notFound > 0) {
        throw RunStopped(ExitCode::LogsVanished,
                         L"The mail data folder " + dataDir_ + L" (DataDir) holds no log files, "
                         L"but " + std::to_wstring(result.notFound) +
                             L" logs were backed up from it before. Has the mail client moved its "
                             L"data? Nothing was backed up, and " + NamesFilePath(archivePath_) +
                             L" was left as it was. This warning ends once a log is found there "
                             L"again.");
    }

    result.fullRunReason = FullRunReason(namesWhole);
    fullRun_ = !result.fullRunReason.empty();
    std::vector<std::size_t> changed;
    for (const std::size_t entry : entries) {
        const std::optional<FileStamp> recorded = names_.Record(entry);
        if (fullRun_ || !recorded) {
            changed.push_back(entry);
            continue;
        }
        // One that cannot be looked at is copied: the copy then tells why it fails.
        const Result<FileStamp> stamp = platform_.StampOf(names_.Entry(entry).source);
        if (!stamp || *stamp != *recorded) changed.push_back(entry);
    }
    result.unchanged = entries.size() - changed.size();
    if (!changed.empty() && names_.Archive()) {
        // Until the archiver's success is verified, the next run cannot trust the records.
        ArchiveRecord unfinished = *names_.Archive();
        unfinished.finished = false;
        names_.SetArchive(unfinished);
    }
    namesFile_.Save(names_);
    result.namesNote = namesFile_.Note();

    std::uint64_t copyBytes = 0;
    for (const std::size_t entry : changed) {
        copyBytes += SpaceForCopy(platform_, names_.Entry(entry).source);
    }
    CheckStagingSpace(platform_, changed.size(), copyBytes, staging_.Path());

    for (const std::size_t entry : changed) {
        const StagedLog log = names_.Entry(entry);
        const Result<FileStamp> copy = staging_.Copy(log.source, log.name);
        if (copy) {
            ++result.copied;
            copied_.emplace_back(entry, *copy);
            continue;
        }
        std::wstring reason = platform_.ErrorText(copy.Error());
        if (const std::optional<LocalTime> written = staging_.KeepEarlierCopy(log.name)) {
            ++result.earlierCopies;
            reason += L" An earlier copy from " + LocalTimeText(*written, false) + L" was archived instead.";
        } else {
            reason += L" It was not backed up.";
        }
        result.notCopied.push_back({log.source, reason});
    }
    result.leftovers = staging_.KeepOtherLeftovers();
    return result;
}

Status LogCollection::RecordArchived() {
    const Result<FileStamp> stamp = platform_.StampOf(archivePath_);
    if (!stamp) return Failed{stamp.Error()};
    for (const auto& [entry, copy] : copied_) names_.SetRecord(entry, copy);
    const std::optional<ArchiveRecord> earlier = names_.Archive();
    const Result<FileIdentity> identity = platform_.IdentityOf(archivePath_);
    names_.SetArchive({ArchiveKey(), *stamp,
                       identity ? std::optional<FileIdentity>(*identity) : std::nullopt,
                       fullRun_ || !earlier ? DayNumber(platform_.Now()) : earlier->lastFullRunDay,
                       true});
    return namesFile_.SaveRecords(names_);
}

}  // namespace quarn
