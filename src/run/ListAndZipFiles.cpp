#include <vector>

#include "backup/ArchiveCommand.h"
#include "backup/LogCollection.h"
#include "run/ShowMessage.h"
#include "run/frmQuarnLogBackup.h"

namespace quarn {
namespace {

std::wstring NotCopiedList(const std::vector<NotCopied>& notCopied) {
    std::wstring list;
    for (const NotCopied& log : notCopied) list += L"\r\n" + log.path + L": " + log.reason;
    return list;
}

}  // namespace

void frmQuarnLogBackup::ListAndZipFiles() {
    const std::wstring workingFolder = platform_.CurrentDirectory();
    const std::wstring stagingFolder = PrepareStagingFolder(platform_, workingFolder);
    const StagingResult staging =
        CollectLogFiles(platform_, sDataDir, waitLimits_.listingMs, workingFolder, stagingFolder);
    summary_.notCopied = staging.notCopied.size();
    summary_.note = staging.namesNote;

    ShowMessage(L"Current Directory : " + stagingFolder);
    try {
        RunArchiver(platform_, sBackupDir, sZipFile, stagingFolder, waitLimits_.archiverMs,
                    summary_.archived);
    } catch (const RunStopped& stopped) {
        if (staging.notCopied.empty()) throw;
        throw RunStopped(stopped.Code(), stopped.Message() +
                                             L"\r\n\r\nThese log files could not be copied "
                                             L"either:" + NotCopiedList(staging.notCopied));
    }
    if (!staging.notCopied.empty()) {
        throw RunStopped(ExitCode::NotAllStaged,
                         L"These log files could not be copied and were not backed up:" +
                             NotCopiedList(staging.notCopied) +
                             L"\r\n\r\nAll other log files were backed up to " +
                             ArchivePath(sBackupDir, sZipFile) + L".");
    }
    ShowMessage(L"Quarn Log files Backed Up");
}

}  // namespace quarn
