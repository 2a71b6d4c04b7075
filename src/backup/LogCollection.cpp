#include "backup/LogCollection.h"

#include <algorithm>

#include "backup/StagingNames.h"
#include "backup/StagingSpace.h"
#include "common/PathText.h"
#include "common/RunStopped.h"
#include "common/TextHash.h"

namespace quarn {
namespace {

std::wstring WithoutDots(std::wstring name) {
    name.erase(std::remove(name.begin(), name.end(), L'.'), name.end());
    return name;
}

unsigned SubfolderIndex(const std::wstring& stagedName) {
    return static_cast<unsigned>(HashText(stagedName) % kStagingSubfolders);
}

std::wstring SubfolderName(unsigned index) {
    return {L"0123456789abcdef"[index / 16], L"0123456789abcdef"[index % 16]};
}

std::wstring NamesFileNote(bool existed) {
    return std::wstring(kNamesFile) +
           (existed ? L" was damaged and was made anew from this run's list (the damaged file "
                      L"is kept as " + std::wstring(kNamesFile) + L".damaged)"
                    : L" was missing and was made anew from this run's list");
}

}  // namespace

std::optional<std::wstring> FlattenedName(const std::wstring& fullPath) {
    const std::vector<std::wstring> components = SplitAtBackslash(fullPath);
    if (components.size() < 2) return std::nullopt;
    return WithoutDots(components[components.size() - 2]) + components.back();
}

std::wstring PrepareStagingFolder(Platform& platform, const std::wstring& workingFolder) {
    std::wstring stagingFolder = JoinPath(workingFolder, kStagingFolder);
    if (!platform.IsDirectory(stagingFolder)) platform.MakeDirectory(stagingFolder);
    if (!platform.IsDirectory(stagingFolder) ||
        !platform.RemoveFile(JoinPath(stagingFolder, kCopyInProgress))) {
        throw RunStopped(ExitCode::WorkingFolderUnusable,
                         L"The folder " + stagingFolder + L" for the copies of the log files "
                         L"cannot be created or used. Nothing was backed up.");
    }
    return stagingFolder;
}

std::wstring StagingSubfolder(const std::wstring& stagedName) {
    return SubfolderName(SubfolderIndex(stagedName));
}

std::uint32_t CopyLogFile(Platform& platform, const std::wstring& fullPath,
                          const std::wstring& stagingFolder, const std::wstring& stagedName) {
    return platform.CopyViaTemporary(
        fullPath, JoinPath(stagingFolder, kCopyInProgress),
        JoinPath(JoinPath(stagingFolder, StagingSubfolder(stagedName)), stagedName));
}

std::size_t CopiesIn(Platform& platform, const std::wstring& stagingFolder) {
    std::size_t copies = 0;
    const auto countIn = [&](const std::wstring& folder) {
        const std::vector<std::wstring> names = platform.FileNamesIn(folder);
        copies += static_cast<std::size_t>(std::count_if(names.begin(), names.end(), IsLogFileName));
    };
    countIn(stagingFolder);
    for (unsigned index = 0; index < kStagingSubfolders; ++index) {
        countIn(JoinPath(stagingFolder, SubfolderName(index)));
    }
    return copies;
}

StagingResult CollectLogFiles(Platform& platform, const std::wstring& dataDir,
                              std::uint32_t listingTimeoutMs, const std::wstring& workingFolder,
                              const std::wstring& stagingFolder) {
    StagingResult result;
    const std::wstring namesFile = JoinPath(workingFolder, kNamesFile);
    StagingNames names(platform);
    {
        const std::optional<std::string> saved = platform.ReadFileBytes(namesFile);
        if (!saved && platform.FileSize(namesFile)) {
            throw RunStopped(ExitCode::WorkingFolderUnusable,
                             L"The list of archive names " + namesFile +
                                 L" cannot be read. Nothing was backed up.");
        }
        if (!saved || !names.Load(*saved)) {
            if (saved) platform.MoveFileOver(namesFile, namesFile + L".damaged");
            result.namesNote = NamesFileNote(saved.has_value());
        }
    }

    // Every name is settled and kept before the first copy: the archive must never
    // receive an entry under a name that the next run might give to another log.
    std::vector<std::size_t> entries;
    ListLogFiles(platform, dataDir, listingTimeoutMs, [&](const std::wstring& log) {
        entries.push_back(names.Claim(log, *FlattenedName(log)));
    });
    // Every listed log is known now: the others known under the folder have gone.
    const std::size_t known = names.CountUnder(dataDir);
    result.notFound = known > entries.size() ? known - entries.size() : 0;
    if (entries.empty() && result.notFound > 0) {
        throw RunStopped(ExitCode::LogsVanished,
                         L"The mail data folder " + dataDir + L" (DataDir) holds no log files, "
                         L"but " + std::to_wstring(result.notFound) +
                             L" logs were backed up from it before. Has the mail client moved its "
                             L"data? Nothing was backed up, and " + namesFile +
                             L" was left as it was. This warning ends once a log is found there "
                             L"again.");
    }
    if (names.Changed() || !result.namesNote.empty()) {
        const std::wstring newFile = namesFile + L".new";
        if (!platform.WriteFileBytes(newFile, names.Saved()) ||
            platform.MoveFileOver(newFile, namesFile) != 0) {
            platform.RemoveFile(newFile);
            throw RunStopped(ExitCode::WorkingFolderUnusable,
                             L"The list of archive names " + namesFile +
                                 L" cannot be written. Nothing was backed up.");
        }
    }

    std::vector<std::wstring> sources;
    sources.reserve(entries.size());
    for (const std::size_t entry : entries) sources.push_back(names.Entry(entry).source);
    CheckStagingSpace(platform, sources, stagingFolder);

    std::vector<bool> subfolderMade(kStagingSubfolders, false);
    for (const std::size_t entry : entries) {
        const StagedLog log = names.Entry(entry);
        const unsigned subfolder = SubfolderIndex(log.name);
        if (!subfolderMade[subfolder]) {
            platform.MakeDirectory(JoinPath(stagingFolder, SubfolderName(subfolder)));  // or it is there
            subfolderMade[subfolder] = true;
        }
        if (const std::uint32_t error = CopyLogFile(platform, log.source, stagingFolder, log.name)) {
            result.notCopied.push_back({log.source, platform.ErrorText(error)});
        }
    }
    return result;
}

}  // namespace quarn
