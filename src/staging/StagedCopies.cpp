#include "staging/StagedCopies.h"

#include <utility>

#include "archive/ArchiveExtract.h"
#include "common/LocalTime.h"
#include "common/PathText.h"

namespace quarn {
namespace {

// The entry is the copy's beginning: the copy only adds to it.
bool Begins(const ArchiveEntry& held, const ContentCheck& copy) {
    return held.crc32 && copy.prefixCrc == held.crc32;
}

std::optional<std::uint64_t> SizeOf(const ArchiveEntry* held) {
    return held != nullptr ? std::optional<std::uint64_t>(held->size) : std::nullopt;
}

}  // namespace

std::wstring ExtractToCheck(Platform& platform, const std::wstring& archive,
                            const std::vector<std::wstring>& names, const std::wstring& programFolder,
                            std::uint32_t timeoutMs, const std::wstring& consequence, std::wstring& note) {
    std::wstring folder = JoinPath(programFolder, kEntryCheckFolder);
    static_cast<void>(platform.MakeDirectory(folder));  // or it is there
    for (const std::wstring& name : names) static_cast<void>(platform.RemoveFile(JoinPath(folder, name)));
    if (platform.IsDirectory(folder).Ok()) {
        ExtractEntries(platform, archive, names, folder, programFolder, timeoutMs, consequence, note);
    }
    return folder;
}

void CopyChangedLogs(Platform& platform, StagingFolder& staging, const StagingNames& names,
                     const std::vector<std::size_t>& changed, const EntriesByName& before,
                     StagedCopies& staged) {
    for (const std::size_t entry : changed) {
        const StagedLog log = names.Entry(entry);
        const ArchiveEntry* held = HeldUnder(platform, before, log.name);
        const Result<CopiedFile> copy = staging.Copy(log.source, log.name, SizeOf(held));
        if (copy) {
            ++staged.copied;
            staged.copies.push_back({log.name, copy->content, entry,
                                     EntryRecord{{copy->content.size, copy->source.lastWrite,
                                                  copy->source.changeTime},
                                                 copy->content.crc},
                                     true, {}, false, 0});
            // Rewritten rather than grown: what the archive holds of it is no part of it.
            if (held != nullptr && !Begins(*held, copy->content)) staged.replaced.push_back({entry, *held});
            continue;
        }
        staged.failedLogs.push_back(entry);
        std::wstring reason = platform.ErrorText(copy.Error());
        if (const std::optional<FolderEntry> earlier = staging.KeepEarlierCopy(log.name)) {
            const Result<ContentCheck> check = platform.CheckContent(earlier->name, SizeOf(held));
            if (check) {
                ++staged.earlierCopies;
                staged.copies.push_back({log.name, *check, entry, std::nullopt, false, earlier->name,
                                         false, staged.notCopied.size()});
                reason += L" An earlier copy from " + LocalTimeText(earlier->lastWriteLocal, false) +
                          L" was archived instead.";
                staged.notCopied.push_back({log.source, reason});
                continue;
            }
            staging.Remove(earlier->name);
        }
        staged.notCopied.push_back({log.source, reason + L" It was not backed up."});
    }
}

void TakeLeftovers(Platform& platform, StagingFolder& staging, const StagingNames& names,
                   const EntriesByName& before, StagedCopies& staged) {
    for (const FolderEntry& leftover : staging.KeepOtherLeftovers()) {
        const std::wstring name = leftover.name.substr(leftover.name.rfind(L'\\') + 1);
        const Result<ContentCheck> check =
            platform.CheckContent(leftover.name, SizeOf(HeldUnder(platform, before, name)));
        if (!check) {
            staging.Remove(leftover.name);
            ++staged.staleLeftovers;
            continue;
        }
        ++staged.leftovers;
        staged.copies.push_back({name, *check, names.LogNamed(name), std::nullopt, false, leftover.name,
                                 true, 0});
    }
}

void SettleEarlierCopies(Platform& platform, StagingFolder& staging, const StagingNames& names,
                         const EntriesByName& before, const std::wstring& entriesFrom,
                         const std::wstring& programFolder, std::uint32_t timeoutMs,
                         StagedCopies& staged, std::wstring& note) {
    std::vector<std::size_t> doubtful;  // in staged.copies
    for (std::size_t i = 0; i < staged.copies.size(); ++i) {
        const StagedCopy& copy = staged.copies[i];
        const ArchiveEntry* held = copy.fresh ? nullptr : HeldUnder(platform, before, copy.name);
        if (held != nullptr && !Begins(*held, copy.content)) doubtful.push_back(i);
    }
    if (doubtful.empty()) return;
    // Which is older cannot be told from their times, which a clock or a copy may have
    // moved: only the entry's own bytes tell whether the copy is a beginning of them.
    std::vector<std::wstring> wanted;
    wanted.reserve(doubtful.size());
    for (const std::size_t i : doubtful) wanted.push_back(staged.copies[i].name);
    const std::wstring folder = ExtractToCheck(platform, entriesFrom, wanted, programFolder, timeoutMs,
                                               L"Nothing was backed up.", note);
    std::vector<bool> stale(staged.copies.size(), false);
    for (const std::size_t i : doubtful) {
        StagedCopy& copy = staged.copies[i];
        const std::wstring entryBytes = JoinPath(folder, copy.name);
        const Result<ContentCheck> entry = platform.CheckContent(entryBytes, copy.content.size);
        static_cast<void>(platform.RemoveFile(entryBytes));
        const ArchiveEntry& held = *HeldUnder(platform, before, copy.name);
        // Not the entry's own bytes, or not a beginning of them: the entry's past is kept.
        if (!entry || entry->size != held.size || entry->crc != held.crc32 ||
            entry->prefixCrc != copy.content.crc) {
            if (const std::optional<std::size_t> index = names.Named(copy.name)) {
                staged.replaced.push_back({*index, held});
            }
            continue;
        }
        stale[i] = true;
        staging.Remove(copy.path);
        ++staged.staleLeftovers;
        if (copy.leftover) {
            --staged.leftovers;
            continue;
        }
        --staged.earlierCopies;
        std::wstring& reason = staged.notCopied[copy.notCopied].reason;
        reason = reason.substr(0, reason.find(L" An earlier copy from ")) +
                 L" The archive holds a later state of it than the copy an earlier run left, "
                 L"which was removed. It was not backed up.";
    }
    std::vector<StagedCopy> kept;
    for (std::size_t i = 0; i < staged.copies.size(); ++i) {
        if (!stale[i]) kept.push_back(std::move(staged.copies[i]));
    }
    staged.copies = std::move(kept);
}

}  // namespace quarn
