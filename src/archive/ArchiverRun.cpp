#include "archive/ArchiverRun.h"

#include <algorithm>
#include <cwctype>
#include <string_view>
#include <vector>

#include "archive/ArchiveCommand.h"
#include "archive/ArchiverOutput.h"
#include "archive/StepNote.h"
#include "common/Duration.h"
#include "common/PathText.h"
#include "common/RunStopped.h"
#include "common/TextLines.h"

namespace quarn {
namespace {

constexpr wchar_t kArchiverFile[] = L"rar.exe";
// The archiver's banner goes here, in the program's folder, and is removed once read.
constexpr wchar_t kVersionFile[] = L"archiverversion.tmp";

[[noreturn]] void StopNotStarted(const std::wstring& reason, const std::wstring& consequence) {
    throw RunStopped(ExitCode::ArchiverNotStarted,
                     L"The RAR archiver rar.exe " + reason +
                         L". Install the RAR command-line archiver, or put rar.exe beside this "
                         L"program or in a folder on PATH. " + consequence);
}

bool IsFullPath(const std::wstring& path) {
    return (path.size() > 2 && path[1] == L':' && path[2] == L'\\') || path.rfind(L"\\\\", 0) == 0;
}

// Beside the program, then on PATH; never in a current folder, which a task may set
// anywhere. None when it is in neither.
std::optional<std::wstring> FindArchiver(Platform& platform) {
    std::vector<std::wstring> folders;
    if (const Result<std::wstring> own = platform.ProgramFolder()) folders.push_back(*own);
    if (const Result<std::wstring> path = platform.EnvironmentVariable(L"PATH")) {
        std::size_t start = 0;
        while (start <= path->size()) {
            const std::size_t end = std::min(path->find(L';', start), path->size());
            std::wstring folder = path->substr(start, end - start);
            start = end + 1;
            if (folder.size() >= 2 && folder.front() == L'"' && folder.back() == L'"') {
                folder = folder.substr(1, folder.size() - 2);
            }
            if (IsFullPath(folder)) folders.push_back(folder);
        }
    }
    for (const std::wstring& folder : folders) {
        const std::wstring candidate = JoinPath(folder, kArchiverFile);
        if (platform.StampOf(candidate)) return candidate;
    }
    return std::nullopt;
}

Result<ProcessEnd> Run(Platform& platform, const std::wstring& program, const std::wstring& arguments,
                       const std::wstring& folder, const std::wstring& outputFile,
                       std::uint32_t timeoutMs) {
    return platform.RunProcess(L"\"" + program + L"\"" + (arguments.empty() ? L"" : L" " + arguments),
                               WindowShow::MinimizedInactive, folder, {}, outputFile, timeoutMs);
}

// Stops the run when the archiver says it is older than the oldest the program
// supports. A version it does not tell leaves the failure as the archiver reported it.
void RefuseOldArchiver(Platform& platform, const std::wstring& program, const std::wstring& folder,
                       std::uint32_t timeoutMs, const std::wstring& consequence) {
    const Result<std::wstring> programFolder = platform.ProgramFolder();
    if (!programFolder) return;
    const std::wstring output = JoinPath(*programFolder, kVersionFile);
    const Result<ProcessEnd> end = Run(platform, program, L"", folder, output, timeoutMs);
    const Result<std::string> banner = platform.ReadFileBytes(output);
    static_cast<void>(platform.RemoveFile(output));  // left behind, it is written over next time
    if (!end || end->timedOut || !banner) return;
    const std::optional<unsigned> version = ArchiverVersion(ArchiverOutputText(*banner));
    if (!version || *version >= kOldestArchiverVersion) return;
    throw RunStopped(ExitCode::ArchiverNotStarted,
                     L"The RAR archiver " + program + L" is version " + VersionText(*version) +
                         L", and this program needs version " +
                         VersionText(kOldestArchiverVersion) + L" or later. Install a newer RAR "
                         L"command-line archiver. " + consequence);
}

}  // namespace

std::wstring VersionText(unsigned version) {
    const unsigned minor = version % 100;
    return std::to_wstring(version / 100) + (minor < 10 ? L".0" : L".") + std::to_wstring(minor);
}

std::optional<unsigned> ArchiverVersion(const std::wstring& output) {
    std::wstring_view first;
    EachLine(output, [&first](std::wstring_view line) {
        if (first.empty() && line.find_first_not_of(L" \t") != std::wstring_view::npos) first = line;
    });
    // The first "major.minor" in it, such as "7.01".
    const auto digit = [&first](std::size_t i) { return i < first.size() && std::iswdigit(first[i]) != 0; };
    for (std::size_t i = 0; i < first.size(); ++i) {
        if (!digit(i) || (i > 0 && digit(i - 1))) continue;
        std::size_t dot = i;
        unsigned major = 0;
        while (digit(dot) && major < 1000) major = major * 10 + static_cast<unsigned>(first[dot++] - L'0');
        if (dot < first.size() && first[dot] == L'.' && digit(dot + 1) && digit(dot + 2)) {
            return major * 100 + static_cast<unsigned>(first[dot + 1] - L'0') * 10 +
                   static_cast<unsigned>(first[dot + 2] - L'0');
        }
    }
    return std::nullopt;
}

std::uint32_t RunArchiverCommand(Platform& platform, const std::wstring& arguments,
                                 const std::wstring& folder, std::uint32_t timeoutMs,
                                 const std::wstring& doing, const std::wstring& consequence,
                                 std::wstring& note) {
    const std::optional<std::wstring> program = FindArchiver(platform);
    if (!program) StopNotStarted(L"was found neither beside this program nor on PATH", consequence);
    const Result<ProcessEnd> end = Run(platform, *program, arguments, folder, L"", timeoutMs);
    if (!end) {
        StopNotStarted(L"(" + *program + L") could not be started: " + platform.ErrorText(end.Error()),
                       consequence);
    }
    note = LeftRunningNote(platform, *end, L"the RAR archiver");
    if (end->timedOut) {
        throw RunStopped(ExitCode::WaitTimedOut,
                         L"The RAR archiver did not end within " + DurationText(timeoutMs) +
                             L" and was stopped while " + doing + L". " + consequence);
    }
    if (!end->awaited) {
        throw RunStopped(ExitCode::ArchiverFailed,
                         L"The end of the RAR archiver could not be awaited (" +
                             platform.ErrorText(end->awaited.Error()) + L"), so it was stopped while " +
                             doing + L". " + consequence);
    }
    if (end->exitCode != kArchiverSuccess) {
        RefuseOldArchiver(platform, *program, folder, timeoutMs, consequence);
    }
    return end->exitCode;
}

std::uint32_t RunArchiverWithList(Platform& platform, const std::wstring& listFile,
                          const std::vector<std::wstring>& names, const std::wstring& arguments,
                          const std::wstring& folder, std::uint32_t timeoutMs,
                          const std::wstring& doing, const std::wstring& consequence,
                          std::wstring& note) {
    if (const Status written = platform.WriteFileBytes(listFile, ListFileBytes(names)); !written) {
        throw RunStopped(ExitCode::WorkingFolderUnusable,
                         L"The list " + listFile + L" for the RAR archiver cannot be written: " +
                             platform.ErrorText(written.Error()) + L" " + consequence);
    }
    const std::uint32_t exitCode =
        RunArchiverCommand(platform, arguments, folder, timeoutMs, doing, consequence, note);
    static_cast<void>(platform.RemoveFile(listFile));
    return exitCode;
}

}  // namespace quarn
