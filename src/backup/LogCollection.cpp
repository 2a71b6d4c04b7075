#include "backup/LogCollection.h"

#include <algorithm>

#include "backup/PathText.h"
#include "run/RunStopped.h"

namespace quarn {
namespace {

std::wstring WithoutDots(std::wstring name) {
    name.erase(std::remove(name.begin(), name.end(), L'.'), name.end());
    return name;
}

std::wstring WithCounter(const std::wstring& name, int counter) {
    const std::size_t dot = name.rfind(L'.');
    const std::size_t stemEnd = dot == std::wstring::npos ? name.size() : dot;
    return name.substr(0, stemEnd) + L"~" + std::to_wstring(counter) + name.substr(stemEnd);
}

[[noreturn]] void StopListing(ExitCode code, const std::wstring& problem) {
    throw RunStopped(code, L"The log files could not be listed: " + problem +
                               L" Nothing was backed up.");
}

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
        L"pushd " + QuotedForBatch(dataDir) + L" && cmd /d /u /c dir /s /b *.bkl *.bks > " +
            QuotedForBatch(workingFolder + L"\\" + kListFile) + L" & popd",
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

std::wstring StagingNames::Claim(const std::wstring& source, const std::wstring& flattenedName) {
    for (const auto& [claimedSource, claimedName] : claimed_) {
        if (platform_.SameTextIgnoringCase(claimedSource, source)) return claimedName;
    }
    std::wstring name = flattenedName;
    for (int counter = 2; Taken(name); ++counter) name = WithCounter(flattenedName, counter);
    claimed_.emplace_back(source, name);
    return name;
}

bool StagingNames::Taken(const std::wstring& name) const {
    for (const auto& claim : claimed_) {
        if (platform_.SameTextIgnoringCase(claim.second, name)) return true;
    }
    return false;
}

CopyResult CopyLogFile(Platform& platform, const std::wstring& fullPath, StagingNames& names) {
    const std::optional<std::wstring> flattened = FlattenedName(fullPath);
    if (!flattened || !IsLogFileName(fullPath)) return CopyResult::NotALogFile;
    const std::wstring destination =
        platform.CurrentDirectory() + L"\\" + names.Claim(fullPath, *flattened);
    return platform.CopyFileOver(fullPath, destination) ? CopyResult::Staged : CopyResult::Failed;
}

std::vector<std::wstring> CollectLogFiles(Platform& platform, const std::wstring& dataDir) {
    WriteBatchFile(platform, dataDir);

    const ProcessOutcome batch = platform.RunProcess(kBatchFile, WindowShow::MinimizedActive);
    if (!batch.started) {
        StopListing(ExitCode::ListingFailed,
                    std::wstring(kBatchFile) + L" could not be started (system error " +
                        std::to_wstring(batch.startError) + L").");
    }
    if (platform.FindFirstName(kMarkerFile, false) != kMarkerFile) {
        StopListing(ExitCode::ListingFailed,
                    std::wstring(kBatchFile) + L" ended without finishing its list of " +
                        dataDir + L".");
    }
    const std::optional<std::wstring> list = platform.ReadUtf16TextFile(kListFile);
    if (!list) {
        StopListing(ExitCode::ListingFailed,
                    L"the mail data folder " + dataDir + L" could not be searched.");
    }

    StagingNames names(platform);
    std::vector<std::wstring> notStaged;
    for (const std::wstring& line : SplitLines(*list)) {
        if (CopyLogFile(platform, line, names) == CopyResult::Failed) notStaged.push_back(line);
    }
    return notStaged;
}

}  // namespace quarn
