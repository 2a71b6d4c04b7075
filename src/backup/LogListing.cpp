#include "backup/LogListing.h"

#include "common/Duration.h"
#include "common/PathText.h"
#include "common/RunStopped.h"
#include "common/TextEncoding.h"

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

// Hands on the log files of the interpreter's UTF-16 list one line at a time, so
// that the list is never held twice.
void EachLogInList(const std::string& list, const std::function<void(const std::wstring&)>& eachLog) {
    std::size_t start = 0;
    while (start < list.size()) {
        std::size_t end = start;
        while (end + 1 < list.size() && (list[end] != '\n' || list[end + 1] != '\0')) end += 2;
        std::wstring line = FromUtf16Le(list.substr(start, end - start));
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        // A log's line is its full path: one without a folder is no line of dir's.
        if (IsLogFileName(line) && line.find(L'\\') != std::wstring::npos) eachLog(line);
        start = end + 2;
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
        L"pushd " + QuotedForBatch(dataDir) + L" && cmd /d /u /c dir /s /b /a-d *.bkl *.bks > " +
            QuotedForBatch(JoinPath(workingFolder, kListFile)) + L" & popd",
        L"echo done > done.tmp",
    };
}

bool IsLogFileName(const std::wstring& path) {
    return EndsWithAsciiIgnoringCase(path, L".bkl") || EndsWithAsciiIgnoringCase(path, L".bks");
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

    EachLogInList(*list, eachLog);
}

}  // namespace quarn
