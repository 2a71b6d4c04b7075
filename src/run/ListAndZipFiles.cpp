#include <vector>

#include "backup/ArchiveCommand.h"
#include "backup/LogCollection.h"
#include "backup/NamesFile.h"
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
    StagingFolder staging(platform_, programFolder_);
    LogCollection collection(platform_, sDataDir, ArchivePath(sBackupDir, sZipFile), programFolder_,
                             staging, waitLimits_.listingMs, waitLimits_.archiverMs);
    const StagingResult result = collection.Stage();
    for (const NotCopied& log : result.notCopied) {
        summary_.notCopied.push_back(log.path + L": " + log.reason);
    }
    summary_.notFound = result.notFound;
    summary_.note = result.namesNote;
    if (!result.listingNote.empty()) AddNote(result.listingNote);
    summary_.unchanged = result.unchanged;
    summary_.fullRunReason = result.fullRunReason;

    ShowMessage(L"Current Directory : " + staging.Path());
    // "archived N logs" counts this run's copies; earlier runs' copies are told apart.
    const std::size_t earlier = result.earlierCopies + result.leftovers;
    ArchiverRun archiver;
    // Nothing to archive: the archive stays as it is, and so do its records.
    summary_.archiverSkipped = result.copied + earlier == 0;
    if (!summary_.archiverSkipped) {
        try {
            RunArchiver(platform_, sBackupDir, sZipFile, staging.Path(), waitLimits_.archiverMs,
                        archiver);
        } catch (const RunStopped& stopped) {
            summary_.archived = archiver.archived > earlier ? archiver.archived - earlier : 0;
            if (!archiver.note.empty()) AddNote(archiver.note);
            if (result.notCopied.empty()) throw;
            throw RunStopped(stopped.Code(), stopped.Message() +
                                                 L"\r\n\r\nThese log files could not be copied "
                                                 L"either:" + NotCopiedList(summary_.notCopied));
        }
        if (!archiver.note.empty()) AddNote(archiver.note);
        if (const Status recorded = collection.RecordArchived(); !recorded) {
            AddNote(L"What the archive holds could not be recorded in " +
                    NamesFilePath(ArchivePath(sBackupDir, sZipFile)) + L" (" +
                    platform_.ErrorText(recorded.Error()) +
                    L"), so the next run archives every log.");
        }
    }
    summary_.archived = archiver.archived > earlier ? archiver.archived - earlier : 0;
    if (result.leftovers > 0) {
        AddNote(std::to_wstring(result.leftovers) +
                (result.leftovers == 1
                     ? L" copy left by an earlier run (of a log that is gone) was"
                     : L" copies left by an earlier run (of logs that are gone) were") +
                L" archived too.");
    }
    if (!result.notCopied.empty()) {
        throw RunStopped(ExitCode::NotAllStaged,
                         L"These log files could not be copied:" +
                             NotCopiedList(summary_.notCopied) +
                             L"\r\n\r\nAll other log files were backed up to " +
                             ArchivePath(sBackupDir, sZipFile) + L".");
    }
    ShowMessage(L"Quarn Log files Backed Up");
}

void frmQuarnLogBackup::AddNote(const std::wstring& text) {
    summary_.note += (summary_.note.empty() ? L"" : L" ") + text;
}

}  // namespace quarn
