#include "backup/LogCollection.h"

#include <algorithm>

#include "backup/StagingNames.h"
#include "common/Duration.h"
#include "common/PathText.h"
#include "common/RunStopped.h"
#include "common/TextEncoding.h"

namespace quarn {
namespace {

std::wstring WithoutDots(std::wstring name) {
    name.erase(std::remove(name.begin(), name.end(), L'.'), name.end());
    return name;
}

[[noreturn]] void StopListing(ExitCode code, const std::wstring& problem) {
    throw RunStopped(code, L"The log files could not be listed: " + problem +
                               L" Nothing was backed up.");
}

// The listing's own files in the working folder. Left-overs of an earlier run are
// removed first, so that an old marker cannot end the wait for a new list; ours
// are removed at the end whatever happens in between. Nothing else is touched.
class ListingFiles {
public:
    explicit ListingFiles(Platform& platform) : platform_(platform) {
        for (const wchar_t* stale : {kMarkerFile, kListFile}) {
            if (!platform_.RemoveFile(stale)) {
                throw RunStopped(ExitCode::WorkingFolderUnusable,
                                 L"The file " + std::wstring(stale) + L" left by an earlier run "
                                 L"cannot be removed from the program's folder " +
                                     platform_.CurrentDirectory() + L". Nothing was backed up.");
            }
        }
    }
    ~ListingFiles() {
        for (const wchar_t* own : {kListFile, kMarkerFile, kBatchFile}) platform_.RemoveFile(own);
    }
    ListingFiles(const ListingFiles&) = delete;
    ListingFiles& operator=(const ListingFiles&) = delete;

private:
    Platform& platform_;
};

void WriteBatchFile(Platform& platform, const std::wstring& dataDir) {
    const std::wstring workingFolder = platform.CurrentDirectory();
    switch (platform.WriteOemTextFile(kBatchFile, ListingBatchLines(dataDir, workingFolder))) {
        case TextFileWrite::Written:
            return;
        case TextFileWrite::NotRepresentable:
            StopListing(ExitCode::ListingFailed,
                        L"the mail data folder " + dataDir + L" or the program's folder " +
                            workingFolder +
                            L" has characters that the command interpreter cannot read on this "
                            L"system. Move the program to a folder with a plainer name.");
        case TextFileWrite::Failed:
            StopListing(ExitCode::WorkingFolderUnusable,
                        std::wstring(kBatchFile) + L" cannot be written in the program's folder " +
                            workingFolder + L".");
    }
}

unsigned SubfolderIndex(const std::wstring& stagedName) {
    std::uint32_t hash = 2166136261U;  // 32-bit FNV-1a
    for (wchar_t c : stagedName) hash = (hash ^ static_cast<std::uint16_t>(c)) * 16777619U;
    return hash % kStagingSubfolders;
}

std::wstring SubfolderName(unsigned index) {
    return {L"0123456789abcdef"[index / 16], L"0123456789abcdef"[index % 16]};
}

// Hands on the log files of the interpreter's UTF-16 list one line at a time, so
// that the list is never held twice.
void EachLogInList(const std::string& list, const std::function<void(const std::wstring&)>& eachLog) {
    std::size_t start = 0;
    while (start < list.size()) {
        std::size_t end = start;
        while (end + 1 < list.size() && (list[end] != '\n' || list[end + 1] != '\0')) end += 2;
        std::wstring line = FromUtf16Le(list.substr(start, end - start));
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        if (IsLogFileName(line) && FlattenedName(line)) eachLog(line);
        start = end + 2;
    }
}

std::wstring NamesFileNote(bool existed) {
    return std::wstring(kNamesFile) +
           (existed ? L" was damaged and was made anew from this run's list (the damaged file "
                      L"is kept as " + std::wstring(kNamesFile) + L".damaged)"
                    : L" was missing and was made anew from this run's list");
}

}  // namespace

std::wstring QuotedForBatch(const std::wstring& path) {
    std::wstring quoted = L"\"";
    for (wchar_t c : path) {
        quoted += c;
        if (c == L'%') quoted += L'%';
    }
    return quoted + L"\"";
}

std::vector<std::wstring> ListingBatchLines(const std::wstring& dataDir,
                                            const std::wstring& workingFolder) {
    return {
        L"pushd " + QuotedForBatch(dataDir) + L" && cmd /d /u /c dir /s /b /a-d *.bkl *.bks > " +
            QuotedForBatch(JoinPath(workingFolder, kListFile)) + L" & popd",
        L"echo done > done.tmp",
    };
}

bool IsLogFileName(const std::wstring& path) {
    return EndsWithAsciiIgnoringCase(path, L".bkl") || EndsWithAsciiIgnoringCase(path, L".bks");
}

std::optional<std::wstring> FlattenedName(const std::wstring& fullPath) {
    const std::vector<std::wstring> components = SplitAtBackslash(fullPath);
    if (components.size() < 2) return std::nullopt;
    return WithoutDots(components[components.size() - 2]) + components.back();
}

void ListLogFiles(Platform& platform, const std::wstring& dataDir, std::uint32_t timeoutMs,
                  const std::function<void(const std::wstring&)>& eachLog) {
    const ListingFiles listingFiles(platform);
    WriteBatchFile(platform, dataDir);

    const ProcessOutcome batch = platform.RunProcess(kBatchFile, WindowShow::MinimizedActive,
                                                     platform.CurrentDirectory(), timeoutMs);
    if (!batch.started) {
        StopListing(ExitCode::ListingFailed,
                    std::wstring(kBatchFile) + L" could not be started (system error " +
                        std::to_wstring(batch.startError) + L").");
    }
    if (batch.timedOut) {
        throw RunStopped(ExitCode::WaitTimedOut,
                         L"The listing of the log files in " + dataDir + L" did not end within " +
                             DurationText(timeoutMs) + L" and was stopped. Nothing was backed up.");
    }
    if (platform.FindFirstName(kMarkerFile, false) != kMarkerFile) {
        StopListing(ExitCode::ListingFailed,
                    std::wstring(kBatchFile) + L" ended without finishing its list of " +
                        dataDir + L".");
    }
    const std::optional<std::string> list = platform.ReadFileBytes(kListFile);
    if (!list) {
        StopListing(ExitCode::ListingFailed,
                    L"the mail data folder " + dataDir + L" could not be searched.");
    }

    EachLogInList(*list, eachLog);
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
