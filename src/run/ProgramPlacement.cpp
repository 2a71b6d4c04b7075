#include "run/ProgramPlacement.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "common/RunStopped.h"

namespace quarn {
namespace {

std::wstring WithTrailingSeparator(const std::wstring& path) {
    return !path.empty() && path.back() == L'\\' ? path : path + L'\\';
}

// "\\?\C:\a" and "\\?\UNC\server\share\a", as the system reports final paths,
// in their everyday form.
std::wstring WithoutLongPathPrefix(const std::wstring& path) {
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\\\" + path.substr(8);
    if (path.rfind(L"\\\\?\\", 0) == 0) return path.substr(4);
    return path;
}

// The folder itself, then each folder above it up to its root: "C:\a\b" gives
// "C:\a\b", "C:\a" and "C:\"; "\\server\share\a" gives itself and "\\server\share".
std::vector<std::wstring> FolderAndParents(std::wstring folder) {
    while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    std::size_t rootLength = 2;  // "C:"
    if (folder.rfind(L"\\\\", 0) == 0) {
        const std::size_t serverEnd = folder.find(L'\\', 2);
        rootLength = serverEnd == std::wstring::npos
                         ? folder.size()
                         : std::min(folder.find(L'\\', serverEnd + 1), folder.size());
    }
    std::vector<std::wstring> folders;
    for (;;) {
        folders.push_back(folder.size() == 2 && folder[1] == L':' ? folder + L'\\' : folder);
        const std::size_t separator = folder.rfind(L'\\');
        if (separator == std::wstring::npos || separator < rootLength) return folders;
        folder.resize(separator);
    }
}

}  // namespace

void RefuseProgramInsideDataDir(Platform& platform, const std::wstring& programFolder,
                                const std::wstring& dataDir) {
    // Both are full paths already: the program folder from the system, the data
    // folder made full when it was read.
    const std::wstring dataText = WithTrailingSeparator(dataDir);
    const std::wstring programText = WithTrailingSeparator(programFolder);
    bool inside = programText.size() >= dataText.size() &&
                  platform.FoldCase(programText.substr(0, dataText.size())) ==
                      platform.FoldCase(dataText);

    // A folder whose identity cannot be read cannot be told apart: the text decides.
    const Result<FileIdentity> data = platform.IdentityOf(dataDir);
    if (!inside && data) {
        std::vector<std::wstring> candidates = FolderAndParents(programText);
        if (const Result<std::wstring> finalPath = platform.FinalPath(programFolder)) {
            for (std::wstring& folder : FolderAndParents(WithoutLongPathPrefix(*finalPath))) {
                candidates.push_back(std::move(folder));
            }
        }
        for (const std::wstring& folder : candidates) {
            const Result<FileIdentity> identity = platform.IdentityOf(folder);
            if (identity && *identity == *data) {
                inside = true;
                break;
            }
        }
    }
    if (inside) {
        throw RunStopped(ExitCode::ProgramInDataDir,
                         L"QuarnLogBackup must not be kept in the mail data folder " + dataDir +
                             L" or below it: move the program to a folder of its own and run "
                             L"it again. Nothing was backed up.");
    }
}

}  // namespace quarn
