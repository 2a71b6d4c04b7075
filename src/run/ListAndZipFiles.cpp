#include <vector>

#include "backup/ArchiveCommand.h"
#include "backup/LogCollection.h"
#include "run/ShowMessage.h"
#include "run/frmQuarnLogBackup.h"

namespace quarn {
namespace {

// A box that lists every log can grow taller than the screen and hide its button.
constexpr std::size_t kLogsListedInABox = 10;

std::wstring NotCopiedList(const std::vector<std::wstring>& notCopied) {
    std::wstring list;
    for (std::size_t i = 0; i < notCopied.size() && i < kLogsListedInABox; ++i) {
        list += L"\r\n" + notCopied[i];
    }
    if (notCopied.size() > kLogsListedInABox) {
        list += L"\r\n\u2026 and " + std::to_wstring(notCopied.size() - kLogsListedInABox) +
                L" more (see " + kRunLogFile + L")";
    }
    return list;
}

}  // namespace

void frmQuarnLogBackup::ListAndZipFiles() {
    const std::wstring workingFolder = platform_.CurrentDirectory();
    const std::wstring stagingFolder = PrepareStagingFolder(platform_, workingFolder);
    const StagingResult staging =
        CollectLogFiles(platform_, sDataDir, waitLimits_.listingMs, workingFolder, stagingFolder);
    for (const NotCopied& log : staging.notCopied) {
        summary_.notCopied.push_back(log.path + L": " + log.reason);
    }
    summary_.notFound = staging.notFound;
    summary_.note = staging.namesNote;

    ShowMessage(L"Current Directory : " + stagingFolder);
    try {
        RunArchiver(platform_, sBackupDir, sZipFile, stagingFolder, waitLimits_.archiverMs,
                    summary_.archived);
    } catch (const RunStopped& stopped) {
        if (staging.notCopied.empty()) throw;
        throw RunStopped(stopped.Code(), stopped.Message() +
                                             L"\r\n\r\nThese log files could not be copied "
                                             L"either:" + NotCopiedList(summary_.notCopied));
    }
    if (!staging.notCopied.empty()) {
        throw RunStopped(ExitCode::NotAllStaged,
                         L"These log files could not be copied and were not backed up:" +
                             NotCopiedList(summary_.notCopied) +
                             L"\r\n\r\nAll other log files were backed up to " +
                             ArchivePath(sBackupDir, sZipFile) + L".");
    }
    ShowMessage(L"Quarn Log files Backed Up");
}

}  // namespace quarn
