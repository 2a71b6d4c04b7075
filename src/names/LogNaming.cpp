#include "names/LogNaming.h"

#include <optional>

#include "common/Counted.h"
#include "common/RunStopped.h"
#include "names/NameRecovery.h"
#include "names/NamesFile.h"
#include "names/StagedName.h"

namespace quarn {

NamedLogs NameLogs(Platform& platform, StagingNames& names, const std::vector<std::wstring>& logs,
                   const EntriesByName* before, std::wstring& note) {
    NamedLogs named;
    // Logs the list does not know, and where each goes in entries.
    std::vector<UnnamedLog> unnamed;
    std::vector<std::size_t> slots;
    for (const std::wstring& log : logs) {
        const std::optional<std::wstring> flattened = FlattenedName(log);
        if (!flattened) {
            named.unfit.push_back(log);
            continue;
        }
        if (const std::optional<std::size_t> known = names.Known(log)) {
            named.entries.push_back(*known);
            continue;
        }
        unnamed.push_back({log, *flattened});
        slots.push_back(named.entries.size());
        named.entries.push_back(0);
    }
    std::vector<std::optional<std::size_t>> taken(unnamed.size());
    if (before != nullptr && !unnamed.empty()) {
        taken = TakeBackEntries(
            platform, names, unnamed,
            [&](const std::wstring& name) { return HeldUnder(platform, *before, name); }, note);
    }
    for (std::size_t i = 0; i < unnamed.size(); ++i) {
        named.entries[slots[i]] = taken[i] ? *taken[i] : names.Claim(unnamed[i].source, unnamed[i].flattenedName);
    }
    return named;
}

std::size_t ReserveArchiveNames(StagingNames& names, const EntriesByName& entries) {
    std::size_t held = 0;
    for (const auto& [folded, entry] : entries) held += names.Reserve(entry.name) ? 1 : 0;
    return held;
}

std::size_t MarkMissing(StagingNames& names, const std::vector<std::size_t>& listed,
                        const std::wstring& dataDir, std::int64_t today, const std::wstring& archivePath) {
    std::vector<bool> found(names.Size(), false);
    for (const std::size_t entry : listed) found[entry] = true;
    std::size_t known = 0;
    std::size_t firstMissed = 0;
    for (const std::size_t entry : names.LogsUnder(dataDir)) {
        ++known;
        if (found[entry]) {
            names.SetMissingSince(entry, std::nullopt);
        } else if (!names.MissingSince(entry)) {
            names.SetMissingSince(entry, today);
            ++firstMissed;
        }
    }
    if (listed.empty() && known > 0) {
        throw RunStopped(ExitCode::LogsVanished,
                         L"The mail data folder " + dataDir + L" (DataDir) holds no log files, "
                         L"but " + Counted(known, L"log was", L"logs were") +
                             L" backed up from it before. Has the mail client moved its data? "
                             L"Nothing was backed up, and " + NamesFilePath(archivePath) +
                             L" was left as it was. This warning ends once a log is found there "
                             L"again.");
    }
    return firstMissed;
}

std::vector<std::size_t> ChangedLogs(Platform& platform, const StagingNames& names,
                                     const std::vector<std::size_t>& listed, bool fullRun) {
    std::vector<std::size_t> changed;
    for (const std::size_t entry : listed) {
        const std::optional<EntryRecord>& recorded = names.Record(entry);
        if (fullRun || !recorded) {
            changed.push_back(entry);
            continue;
        }
        const Result<FileStamp> stamp = platform.StampOf(names.Entry(entry).source);
        if (!stamp || *stamp != recorded->stamp) changed.push_back(entry);
    }
    return changed;
}

}  // namespace quarn
