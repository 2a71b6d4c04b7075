#include <vector>

#include "backup/ArchiveCommand.h"
#include "backup/LogCollection.h"
#include "run/ShowMessage.h"
#include "run/frmQuarnLogBackup.h"

namespace quarn {
namespace {

// The run's own files in the working folder. Left-overs of an earlier run are
// removed first, so that an old marker cannot end the wait for a new list; ours
// are removed at the end whatever happens in between. Nothing else is touched.
class RunFiles {
public:
    explicit RunFiles(Platform& platform) : platform_(platform) {
        for (const wchar_t* stale : {kMarkerFile, kListFile}) {
            if (!platform_.RemoveFile(stale)) {
                throw RunStopped(ExitCode::WorkingFolderUnusable,
                                 L"The file " + std::wstring(stale) + L" left by an earlier run "
                                 L"cannot be removed from the program's folder " +
                                     platform_.CurrentDirectory() + L". Nothing was backed up.");
            }
        }
    }
    ~RunFiles() {
        for (const wchar_t* own : {kListFile, kMarkerFile, kBatchFile}) platform_.RemoveFile(own);
    }
    RunFiles(const RunFiles&) = delete;
    RunFiles& operator=(const RunFiles&) = delete;

private:
    Platform& platform_;
};

std::wstring NotStagedList(const std::vector<std::wstring>& notStaged) {
    std::wstring list;
    for (const std::wstring& file : notStaged) list += L"\r\n" + file;
    return list;
}

}  // namespace

void frmQuarnLogBackup::ListAndZipFiles() {
    std::vector<std::wstring> notStaged;
    {
        RunFiles runFiles(platform_);
        notStaged = CollectLogFiles(platform_, sDataDir);
        ShowMessage(L"Current Directory : " + platform_.CurrentDirectory());
        try {
            RunArchiver(platform_, sBackupDir, sZipFile);
        } catch (const RunStopped& stopped) {
            if (notStaged.empty()) throw;
            throw RunStopped(stopped.Code(), stopped.Message() +
                                                 L"\r\n\r\nThese log files could not be copied "
                                                 L"either:" + NotStagedList(notStaged));
        }
    }
    if (!notStaged.empty()) {
        throw RunStopped(ExitCode::NotAllStaged,
                         L"These log files could not be copied (another program may hold them "
                         L"open) and were not backed up:" + NotStagedList(notStaged) +
                             L"\r\n\r\nAll other log files were backed up to " +
                             ArchivePath(sBackupDir, sZipFile) + L".");
    }
    ShowMessage(L"Quarn Log files Backed Up");
}

}  // namespace quarn
