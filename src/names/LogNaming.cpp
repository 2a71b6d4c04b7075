#include "names/LogNaming.h"

#include <optional>
#include <utility>

#include "common/Counted.h"
#include "common/RunStopped.h"
#include "names/NamesFile.h"
#include "names/StagedName.h"

namespace quarn {

void LogNamer::Add(const std::wstring& log) {
    const std::optional<std::wstring> flattened = FlattenedName(log);
    if (!flattened) {
        named_.unfit.push_back(log);
        return;
    }
    if (const std::optional<std::size_t> known = names_.Known(log)) {
        named_.entries.push_back(*known);
        return;
    }
    unnamed_.push_back({log, *flattened});
    slots_.push_back(named_.entries.size());
    named_.entries.push_back(0);
}

NamedLogs LogNamer::Named(Platform& platform, const EntriesByName* before, std::wstring& note) {
    std::vector<std::optional<std::size_t>> taken(unnamed_.size());
    if (before != nullptr && !unnamed_.empty()) {
        taken = TakeBackEntries(
            platform, names_, unnamed_,
            [&](const std::wstring& name) { return HeldUnder(platform, *before, name); }, note);
    }
    for (std::size_t i = 0; i < unnamed_.size(); ++i) {
        named_.entries[slots_[i]] = taken[i] ? *taken[i] : names_.Claim(unnamed_[i].source, unnamed_[i].flattenedName);
    }
    unnamed_.clear();
    slots_.clear();
    return std::move(named_);
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
