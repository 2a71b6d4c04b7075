#include "backup/StagingFolder.h"

#include <algorithm>

#include "backup/StagedName.h"
#include "common/PathText.h"
#include "common/RunStopped.h"
#include "common/TextHash.h"

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

std::size_t FilesIn(Platform& platform, const std::wstring& stagingFolder) {
    std::size_t files = 0;
    for (const FolderEntry& entry : platform.FolderEntries(stagingFolder)) {
        files += entry.isFolder ? FilesIn(platform, JoinPath(stagingFolder, entry.name)) : 1;
    }
    return files;
}

StagingFolder::StagingFolder(Platform& platform, const std::wstring& workingFolder)
    : platform_(platform),
      path_(JoinPath(workingFolder, kStagingFolder)),
      subfolderMade_(kStagingSubfolders, false) {
    if (!platform_.IsDirectory(path_)) platform_.MakeDirectory(path_);
    if (!platform_.IsDirectory(path_)) {
        throw RunStopped(ExitCode::WorkingFolderUnusable,
                         L"The folder " + path_ + L" for the copies of the log files "
                         L"cannot be created or used. Nothing was backed up.");
    }
    FindLeftovers(path_, true);
}

void StagingFolder::FindLeftovers(const std::wstring& folder, bool top) {
    for (FolderEntry entry : platform_.FolderEntries(folder)) {
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
    if (!platform_.RemoveFile(path)) {
        throw RunStopped(ExitCode::WorkingFolderUnusable,
                         L"The file " + path + L" in the folder for the copies of the log files "
                         L"cannot be removed. Nothing was backed up.");
    }
}

std::vector<std::wstring> StagingFolder::LeftoverNames() const {
    std::vector<std::wstring> names;
    for (const auto& [folded, copies] : leftovers_) {
        names.push_back(SplitAtBackslash(copies.front().name).back());
    }
    return names;
}

CopyOutcome StagingFolder::Copy(const std::wstring& source, const std::wstring& stagedName) {
    const unsigned subfolder = SubfolderIndex(stagedName);
    const std::wstring subfolderPath = JoinPath(path_, SubfolderName(subfolder));
    if (!subfolderMade_[subfolder]) {
        platform_.MakeDirectory(subfolderPath);  // or it is there
        subfolderMade_[subfolder] = true;
    }
    const std::wstring target = JoinPath(subfolderPath, stagedName);
    const CopyOutcome copy =
        platform_.CopyViaTemporary(source, JoinPath(path_, kCopyInProgress), target);
    if (copy.error != 0) return copy;
    const auto found = leftovers_.find(platform_.FoldCase(stagedName));
    if (found != leftovers_.end()) {
        const std::wstring foldedTarget = platform_.FoldCase(target);
        for (const FolderEntry& copy : found->second) {
            if (platform_.FoldCase(copy.name) != foldedTarget) Remove(copy.name);
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

std::optional<LocalTime> StagingFolder::KeepEarlierCopy(const std::wstring& stagedName) {
    const auto found = leftovers_.find(platform_.FoldCase(stagedName));
    if (found == leftovers_.end()) return std::nullopt;
    const LocalTime written = KeepNewest(std::move(found->second)).lastWriteLocal;
    leftovers_.erase(found);
    return written;
}

std::size_t StagingFolder::KeepOtherLeftovers() {
    const std::size_t kept = leftovers_.size();
    for (auto& [folded, copies] : leftovers_) KeepNewest(std::move(copies));
    leftovers_.clear();
    return kept;
}

}  // namespace quarn
