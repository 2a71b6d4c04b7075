#include "staging/LogListing.h"

#include <optional>

#include "archive/StepNote.h"
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

// The listing's own files in the program folder. Left-overs of an earlier run are
// removed first, so that an old marker cannot end the wait for a new list; ours
// are removed at the end whatever happens in between. Nothing else is touched.
class ListingFiles {
public:
    ListingFiles(Platform& platform, const std::wstring& folder)
        : platform_(platform), folder_(folder) {
        for (const wchar_t* stale : {kMarkerFile, kListFile}) {
            if (const Status removed = platform_.RemoveFile(Path(stale)); !removed) {
                throw RunStopped(ExitCode::WorkingFolderUnusable,
                                 L"The file " + std::wstring(stale) + L" left by an earlier run "
                                 L"cannot be removed from the program's folder " + folder_ +
                                     L": " + platform_.ErrorText(removed.Error()) +
                                     L" Nothing was backed up.");
            }
        }
    }
    ~ListingFiles() {
        // What cannot be removed now is removed before the next listing.
        for (const wchar_t* own : {kListFile, kMarkerFile, kBatchFile}) {
            static_cast<void>(platform_.RemoveFile(Path(own)));
        }
    }
    ListingFiles(const ListingFiles&) = delete;
    ListingFiles& operator=(const ListingFiles&) = delete;

    std::wstring Path(const wchar_t* name) const { return JoinPath(folder_, name); }

private:
    Platform& platform_;
    std::wstring folder_;
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

std::wstring ListingCommand(const std::wstring& systemFolder) {
    return L"\"" + JoinPath(systemFolder, L"cmd.exe") + L"\" /d /u /v:off /c " + kBatchFile;
}

std::string ListingBatchText() {
    const std::wstring folder = L"%" + std::wstring(kDataDirVariable) + L"%";
    return ToUtf8(L"dir /s /b /a-d \"" + folder + L"*.bkl\" \"" + folder + L"*.bks\" > " +
                  kListFile + L"\r\necho done > " + kMarkerFile + L"\r\n");
}

bool IsLogFileName(const std::wstring& path) {
    return EndsWithAsciiIgnoringCase(path, L".bkl") || EndsWithAsciiIgnoringCase(path, L".bks");
}

std::wstring ListLogFiles(Platform& platform, const std::wstring& dataDir,
                          const std::wstring& programFolder, std::uint32_t timeoutMs,
                          const std::function<void(const std::wstring&)>& eachLog) {
    const ListingFiles files(platform, programFolder);
    if (const Status written = platform.WriteFileBytes(files.Path(kBatchFile), ListingBatchText());
        !written) {
        StopListing(ExitCode::WorkingFolderUnusable,
                    std::wstring(kBatchFile) + L" cannot be written in the program's folder " +
                        programFolder + L": " + platform.ErrorText(written.Error()));
    }

    // dir gets the data folder's full path (which dataDir is, ending in "\\"), so
    // that a share lists as \\server\share\... and not under a drive letter that lives
    // only as long as the listing. It reaches the batch file only through a variable;
    // the user's default dir switches are taken away: /p would wait for a key that no
    // one presses.
    const Result<std::wstring> system = platform.SystemFolder();
    if (!system) {
        StopListing(ExitCode::ListingFailed, L"the system's folder, which holds cmd.exe, cannot be "
                                             L"found: " + platform.ErrorText(system.Error()));
    }
    const Result<ProcessEnd> batch = platform.RunProcess(
        ListingCommand(*system), WindowShow::MinimizedActive, programFolder,
        {{kDataDirVariable, dataDir}, {L"DIRCMD", std::nullopt}}, {}, timeoutMs);
    if (!batch) {
        StopListing(ExitCode::ListingFailed, std::wstring(kBatchFile) + L" could not be started: " +
                                                 platform.ErrorText(batch.Error()));
    }
    if (!batch->awaited) {
        StopListing(ExitCode::ListingFailed,
                    L"the end of " + std::wstring(kBatchFile) + L" could not be awaited (" +
                        platform.ErrorText(batch->awaited.Error()) + L"), so it was stopped.");
    }
    if (batch->timedOut) {
        throw RunStopped(ExitCode::WaitTimedOut,
                         L"The listing of the log files in " + dataDir + L" did not end within " +
                             DurationText(timeoutMs) + L" and was stopped. Nothing was backed up.");
    }
    const Result<std::wstring> marker = platform.FindFirstName(files.Path(kMarkerFile), false);
    if (!marker || *marker != kMarkerFile) {
        StopListing(ExitCode::ListingFailed,
                    std::wstring(kBatchFile) + L" ended without finishing its list of " +
                        dataDir + L".");
    }
    const Result<std::string> list = platform.ReadFileBytes(files.Path(kListFile));
    if (!list) {
        StopListing(ExitCode::ListingFailed, L"the mail data folder " + dataDir +
                                                 L" could not be searched: " +
                                                 platform.ErrorText(list.Error()));
    }

    EachLogInList(platform, *list, dataDir, eachLog);
    return LeftRunningNote(platform, *batch, L"the listing");
}

}  // namespace quarn
