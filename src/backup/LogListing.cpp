#include "backup/LogListing.h"

#include <optional>

#include "common/Duration.h"
#include "common/PathText.h"
#include "common/RunStopped.h"
#include "common/TextEncoding.h"
#include "common/TextLines.h"
#include "common/WindowsNames.h"

namespace quarn {
namespace {

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

// Gives a variable a value (or none) for the processes started while it lives,
// then puts back what the program had.
class ChildVariable {
public:
    ChildVariable(Platform& platform, const wchar_t* name, const std::optional<std::wstring>& value)
        : platform_(platform), name_(name), before_(platform.EnvironmentVariable(name)) {
        platform_.PutEnvironmentVariable(name_, value);
    }
    ~ChildVariable() { platform_.PutEnvironmentVariable(name_, before_); }
    ChildVariable(const ChildVariable&) = delete;
    ChildVariable& operator=(const ChildVariable&) = delete;

private:
    Platform& platform_;
    std::wstring name_;
    std::optional<std::wstring> before_;
};

// Hands on the log files of the interpreter's UTF-16 list one line at a time, so
// that the list is never held twice. dir names every file by the folder it was
// given, then the rest of its path: a line that starts otherwise is none of the
// data folder's, and nothing of such a list is trusted.
void EachLogInList(Platform& platform, const std::string& list, const std::wstring& folder,
                   const std::function<void(const std::wstring&)>& eachLog) {
    const std::wstring foldedFolder = platform.FoldCase(folder);
    EachUtf16LeLine(list, [&](std::string_view lineBytes) {
        const std::wstring line = FromUtf16Le(std::string(lineBytes));
        // A line without a folder is no path of dir's.
        if (line.find(L'\\') == std::wstring::npos) return;
        if (line.size() <= folder.size() ||
            platform.FoldCase(line.substr(0, folder.size())) != foldedFolder) {
            std::wstring problem = L"the listing named " + line;
            problem += L", which is not in the mail data folder " + folder + L".";
            StopListing(ExitCode::ListingFailed, problem);
        }
        if (IsLogFileName(line)) eachLog(line);
    });
}

}  // namespace

std::string ListingBatchText() {
    const std::wstring folder = L"%" + std::wstring(kDataDirVariable) + L"%";
    return ToUtf8(L"dir /s /b /a-d \"" + folder + L"*.bkl\" \"" + folder + L"*.bks\" > " +
                  kListFile + L"\r\necho done > " + kMarkerFile + L"\r\n");
}

bool IsLogFileName(const std::wstring& path) {
    return EndsWithAsciiIgnoringCase(path, L".bkl") || EndsWithAsciiIgnoringCase(path, L".bks");
}

void ListLogFiles(Platform& platform, const std::wstring& dataDir, std::uint32_t timeoutMs,
                  const std::function<void(const std::wstring&)>& eachLog) {
    const ListingFiles listingFiles(platform);
    if (!platform.WriteFileBytes(kBatchFile, ListingBatchText())) {
        StopListing(ExitCode::WorkingFolderUnusable,
                    std::wstring(kBatchFile) + L" cannot be written in the program's folder " +
                        platform.CurrentDirectory() + L".");
    }

    // dir gets the data folder's full path, so that a share lists as \\server\share\...
    // and not under a drive letter that lives only as long as the listing.
    std::wstring folder = platform.FullPath(dataDir);
    if (folder.empty() || folder.back() != L'\\') folder += L'\\';
    const ProcessOutcome batch = [&] {
        const ChildVariable dataDirForChild(platform, kDataDirVariable, folder);
        // The user's default dir switches: /p would wait for a key that no one presses.
        const ChildVariable noDirDefaults(platform, L"DIRCMD", std::nullopt);
        return platform.RunProcess(kListingCommand, WindowShow::MinimizedActive,
                                   platform.CurrentDirectory(), timeoutMs);
    }();
    if (!batch.started) {
        StopListing(ExitCode::ListingFailed,
                    std::wstring(kBatchFile) + L" could not be started (system error " +
                        std::to_wstring(batch.startError) + L").");
    }
    if (batch.waitError != 0) {
        StopListing(ExitCode::ListingFailed,
                    L"the end of " + std::wstring(kBatchFile) +
                        L" could not be awaited (system error " +
                        std::to_wstring(batch.waitError) + L"), so it was stopped.");
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

    EachLogInList(platform, *list, folder, eachLog);
}

}  // namespace quarn
