#include "backup/LogCollection.h"

#include <cwchar>
#include <optional>

#include "backup/ArchiveListing.h"
#include "backup/LogListing.h"
#include "backup/NamesFile.h"
#include "backup/StagedName.h"
#include "backup/StagingNames.h"
#include "backup/StagingSpace.h"
#include "common/RunStopped.h"

namespace quarn {
namespace {

std::wstring MinuteText(const LocalTime& at) {
    wchar_t text[20] = {};
    std::swprintf(text, sizeof text / sizeof text[0], L"%04d-%02d-%02d %02d:%02d", at.year,
                  at.month, at.day, at.hour, at.minute);
    return text;
}

}  // namespace

StagingResult CollectLogFiles(Platform& platform, const std::wstring& dataDir,
                              const std::wstring& archivePath, const std::wstring& workingFolder,
                              StagingFolder& staging, std::uint32_t listingTimeoutMs,
                              std::uint32_t archiverTimeoutMs) {
    StagingResult result;
    StagingNames names(platform);
    NamesFile namesFile(platform, archivePath, workingFolder);
    namesFile.Load(names, [&] {
        return ListArchiveNames(platform, archivePath, workingFolder, archiverTimeoutMs);
    });
    // A copy under a name that no one holds goes to the archive under that name.
    for (const std::wstring& name : staging.LeftoverNames()) names.Reserve(name);

    // Every name is settled and kept before the first copy: the archive must never
    // receive an entry under a name that the next run might give to another log.
    std::vector<std::size_t> entries;
    ListLogFiles(platform, dataDir, listingTimeoutMs, [&](const std::wstring& log) {
        if (const std::optional<std::wstring> flattened = FlattenedName(log)) {
            entries.push_back(names.Claim(log, *flattened));
        } else {
            result.notCopied.push_back({log, L"No name that an archive entry may have can be "
                                             L"made of its path. It was not backed up."});
        }
    });
    // Every listed log is known now: the others known under the folder have gone.
    const std::size_t known = names.CountUnder(dataDir);
    result.notFound = known > entries.size() ? known - entries.size() : 0;
    if (entries.empty() && result.notFound > 0) {
        throw RunStopped(ExitCode::LogsVanished,
                         L"The mail data folder " + dataDir + L" (DataDir) holds no log files, "
                         L"but " + std::to_wstring(result.notFound) +
                             L" logs were backed up from it before. Has the mail client moved its "
                             L"data? Nothing was backed up, and " + NamesFilePath(archivePath) +
                             L" was left as it was. This warning ends once a log is found there "
                             L"again.");
    }
    namesFile.Save(names);
    result.namesNote = namesFile.Note();

    std::vector<std::wstring> sources;
    sources.reserve(entries.size());
    for (const std::size_t entry : entries) sources.push_back(names.Entry(entry).source);
    CheckStagingSpace(platform, sources, staging.Path());

    for (const std::size_t entry : entries) {
        const StagedLog log = names.Entry(entry);
        const std::uint32_t error = staging.Copy(log.source, log.name);
        if (error == 0) {
            ++result.copied;
            continue;
        }
        std::wstring reason = platform.ErrorText(error);
        if (const std::optional<LocalTime> written = staging.KeepEarlierCopy(log.name)) {
            ++result.earlierCopies;
            reason += L" An earlier copy from " + MinuteText(*written) + L" was archived instead.";
        } else {
            reason += L" It was not backed up.";
        }
        result.notCopied.push_back({log.source, reason});
    }
    result.leftovers = staging.KeepOtherLeftovers();
    return result;
}

}  // namespace quarn
