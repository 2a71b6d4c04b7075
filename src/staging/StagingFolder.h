#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/Platform.h"

namespace quarn {

// The archiver works in a folder of the program's own, so that it never sees (and
// never deletes) a file that is not one of our copies.
inline constexpr wchar_t kStagingFolder[] = L"QuarnStaging";
// A copy is made under this name in the staging folder and then renamed to its
// staged name, so that a run ended midway never leaves half a log under a log's name.
inline constexpr wchar_t kCopyInProgress[] = L"copying.tmp";
// Entries of the archive are extracted here, beside the staging folder and never in
// it, to be compared with the copies that would replace them.
inline constexpr wchar_t kEntryCheckFolder[] = L"QuarnEntryCheck";
// The copies are spread over this many subfolders of the staging folder, by their
// names. Some file systems search a whole folder for each new name (Wine matches
// names without case that way): small folders keep each copy as cheap at 20,000
// logs as at 200.
inline constexpr unsigned kStagingSubfolders = 64;

// The subfolder of the staging folder that holds the copy of this staged name:
// "00" to "3f", always the same for the same name.
std::wstring StagingSubfolder(const std::wstring& stagedName);

// The staging folder of a run: one copy per staged name, always the newest. Copies
// that an earlier run left (the archiver did not take them) are found at the start;
// each is replaced by this run's copy of its log, or else archived once.
class StagingFolder {
public:
    // Creates the folder below workingFolder when it is missing. Removes a half-made
    // copy and every file that the archiver would never take (no fit staged name).
    StagingFolder(Platform& platform, const std::wstring& workingFolder);

    const std::wstring& Path() const { return path_; }

    // The names of the copies an earlier run left, one per name.
    std::vector<std::wstring> LeftoverNames() const;

    // Copies one log into its subfolder under its staged name, as a plain file, then
    // removes every other copy of that name. prefixLength: see CopyViaTemporary.
    Result<CopiedFile> Copy(const std::wstring& source, const std::wstring& stagedName,
                            std::optional<std::uint64_t> prefixLength);

    // Moves a file of the program's own into the subfolder of its staged name, replacing
    // any copy there; returns where it went.
    Result<std::wstring> Place(const std::wstring& file, const std::wstring& stagedName);

    // For a log that could not be copied: keeps only the newest copy that an earlier
    // run left of it, and returns it (its full path as its name); none when there is none.
    std::optional<FolderEntry> KeepEarlierCopy(const std::wstring& stagedName);

    // Keeps the newest copy of each name that this run has not dealt with and
    // returns them, each with its full path as its name.
    std::vector<FolderEntry> KeepOtherLeftovers();

    // Takes away a copy that must not reach the archive.
    void Remove(const std::wstring& path);

private:
    std::wstring SubfolderFor(const std::wstring& stagedName);
    void FindLeftovers(const std::wstring& folder, bool top);
    // Removes every copy but the newest, which it returns.
    FolderEntry KeepNewest(std::vector<FolderEntry> copies);

    Platform& platform_;
    std::wstring path_;
    std::vector<bool> subfolderMade_;
    // Folded name -> the copies of that name, each with its full path as its name.
    std::unordered_map<std::wstring, std::vector<FolderEntry>> leftovers_;
};

}  // namespace quarn
