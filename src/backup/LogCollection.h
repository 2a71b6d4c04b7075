#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "backup/LogListing.h"
#include "platform/Platform.h"

namespace quarn {

// The archiver works in a folder of the program's own, so that it never sees (and
// never deletes) a file that is not one of our copies.
inline constexpr wchar_t kStagingFolder[] = L"QuarnStaging";
// A copy is made under this name in the staging folder and then renamed to its
// staged name, so that a run ended midway never leaves half a log under a log's name.
inline constexpr wchar_t kCopyInProgress[] = L"copying.tmp";
// The copies are spread over this many subfolders of the staging folder, by their
// names. Some file systems search a whole folder for each new name (Wine matches
// names without case that way): small folders keep each copy as cheap at 20,000
// logs as at 200.
inline constexpr unsigned kStagingSubfolders = 64;

// The containing folder's name without dots, then the file name
// ("D:\Mail\acct.one\in.bkl" gives "acctonein.bkl"); none for a path without "\".
std::optional<std::wstring> FlattenedName(const std::wstring& fullPath);

// Creates the staging folder below the working folder when it is missing and
// removes a half-made copy that a run ended midway left there. Returns its path.
std::wstring PrepareStagingFolder(Platform& platform, const std::wstring& workingFolder);

// The subfolder of the staging folder that holds the copy of this staged name:
// "00" to "3f", always the same for the same name.
std::wstring StagingSubfolder(const std::wstring& stagedName);

// Copies one log into its subfolder of the staging folder under its staged name, as
// a plain file. Returns 0 or the system's error code.
std::uint32_t CopyLogFile(Platform& platform, const std::wstring& fullPath,
                          const std::wstring& stagingFolder, const std::wstring& stagedName);

// How many log copies wait in the staging folder and its subfolders.
std::size_t CopiesIn(Platform& platform, const std::wstring& stagingFolder);

struct NotCopied {
    std::wstring path;
    std::wstring reason;  // the system's words
};

struct StagingResult {
    std::vector<NotCopied> notCopied;
    std::wstring namesNote;  // set when the names file had to be made anew
    std::size_t notFound = 0;  // logs known under the data folder that the listing missed
};

// Lists the log files below dataDir, gives each its lasting staged name (kept in the
// names file in the working folder) and copies it into the staging folder.
StagingResult CollectLogFiles(Platform& platform, const std::wstring& dataDir,
                              std::uint32_t listingTimeoutMs, const std::wstring& workingFolder,
                              const std::wstring& stagingFolder);

}  // namespace quarn
