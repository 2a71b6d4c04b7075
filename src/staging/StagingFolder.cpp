#include "staging/StagingFolder.h"

#include <algorithm>

#include "common/PathText.h"
#include "common/RunStopped.h"
#include "common/TextHash.h"
#include "names/StagedName.h"

namespace quarn {
namespace {

unsigned SubfolderIndex(const std::wstring& stagedName) {
    return static_cast<unsigned>(HashText(stagedName) % kStagingSubfolders);
}

std::wstring SubfolderName(unsigned index) {
    return {L"0123456789abcdef"[index / 16], L"0123456789abcdef"[index % 16]};
}

}  // namespace

std::wstring StagingSubfolder(const std::wstring& stagedName) {
    return SubfolderName(SubfolderIndex(stagedName));
}

StagingFolder::StagingFolder(Platform& platform, const std::wstring& workingFolder)
    : platform_(platform),
      path_(JoinPath(workingFolder, kStagingFolder)),
      subfolderMade_(kStagingSubfolders, false) {
    const Status made = platform_.MakeDirectory(path_);  // or it is there
    const Result<bool> there = platform_.IsDirectory(path_);
    if (!there || !*there) {
        throw RunStopped(ExitCode::WorkingFolderUnusable,
                         L"The folder " + path_ + L" for the copies of the log files "
                         L"cannot be created or used: " +
                             platform_.ErrorText(there ? made.Error() : there.Error()) +
                             L" Nothing was backed up.");
    }
    FindLeftovers(path_, true);
}

void StagingFolder::FindLeftovers(const std::wstring& folder, bool top) {
    Result<std::vector<FolderEntry>> entries = platform_.FolderEntries(folder);
    if (!entries) {
        throw RunStopped(ExitCode::WorkingFolderUnusable,
                         L"The folder " + folder + L" for the copies of the log files cannot be "
                         L"listed: " + platform_.ErrorText(entries.Error()) +
                             L" Nothing was backed up.");
    }
    for (FolderEntry& entry : *entries) {
        const std::wstring path = JoinPath(folder, entry.name);
        if (entry.isFolder) {
            FindLeftovers(path, false);
        } else if (!IsFitStagedName(entry.name) || (top && entry.name == kCopyInProgress)) {
            Remove(path);
        } else {
            const std::wstring folded = platform_.FoldCase(entry.name);
            entry.name = path;
            leftovers_[folded].push_back(std::move(entry));
        }
    }
}

void StagingFolder::Remove(const std::wstring& path) {
    if (const Status removed = platform_.RemoveFile(path); !removed) {
        throw RunStopped(ExitCode::WorkingFolderUnusable,
                         L"The file " + path + L" in the folder for the copies of the log files "
                         L"cannot be removed: " + platform_.ErrorText(removed.Error()) +
                             L" Nothing was backed up.");
    }
}

std::vector<std::wstring> StagingFolder::LeftoverNames() const {
    std::vector<std::wstring> names;
    for (const auto& [folded, copies] : leftovers_) {
        names.push_back(SplitAtBackslash(copies.front().name).back());
    }
    return names;
}

std::wstring StagingFolder::SubfolderFor(const std::wstring& stagedName) {
    const unsigned subfolder = SubfolderIndex(stagedName);
    std::wstring subfolderPath = JoinPath(path_, SubfolderName(subfolder));
    if (!subfolderMade_[subfolder]) {
        // Or it is there; if not, what goes into it fails with the reason.
        static_cast<void>(platform_.MakeDirectory(subfolderPath));
        subfolderMade_[subfolder] = true;
    }
    return subfolderPath;
}

Result<std::wstring> StagingFolder::Place(const std::wstring& file, const std::wstring& stagedName) {
    const std::wstring target = JoinPath(SubfolderFor(stagedName), stagedName);
    if (const Status moved = platform_.MoveFileOver(file, target); !moved) return Failed{moved.Error()};
    return target;
}

Result<CopiedFile> StagingFolder::Copy(const std::wstring& source, const std::wstring& stagedName,
                                       std::optional<std::uint64_t> prefixLength) {
    const std::wstring target = JoinPath(SubfolderFor(stagedName), stagedName);
    Result<CopiedFile> copy =
        platform_.CopyViaTemporary(source, JoinPath(path_, kCopyInProgress), target, prefixLength);
    if (!copy) return copy;
    const auto found = leftovers_.find(platform_.FoldCase(stagedName));
    if (found != leftovers_.end()) {
        const std::wstring foldedTarget = platform_.FoldCase(target);
        for (const FolderEntry& earlier : found->second) {
            if (platform_.FoldCase(earlier.name) != foldedTarget) Remove(earlier.name);
        }
        leftovers_.erase(found);
    }
    return copy;
}

FolderEntry StagingFolder::KeepNewest(std::vector<FolderEntry> copies) {
    const auto newest = std::max_element(
        copies.begin(), copies.end(),
        [](const FolderEntry& a, const FolderEntry& b) { return a.lastWrite < b.lastWrite; });
    for (auto copy = copies.begin(); copy != copies.end(); ++copy) {
        if (copy != newest) Remove(copy->name);
    }
    return *newest;
}

std::optional<FolderEntry> StagingFolder::KeepEarlierCopy(const std::wstring& stagedName) {
    const auto found = leftovers_.find(platform_.FoldCase(stagedName));
    if (found == leftovers_.end()) return std::nullopt;
    FolderEntry kept = KeepNewest(std::move(found->second));
    leftovers_.erase(found);
    return kept;
}

std::vector<FolderEntry> StagingFolder::KeepOtherLeftovers() {
    std::vector<FolderEntry> kept;
    for (auto& [folded, copies] : leftovers_) kept.push_back(KeepNewest(std::move(copies)));
    leftovers_.clear();
    return kept;
}

}  // namespace quarn
