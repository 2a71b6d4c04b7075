#include <algorithm>
#include <optional>
#include <vector>

#include "archive/ArchiveAdd.h"
#include "archive/ArchiveCommand.h"
#include "archive/DamagedArchive.h"
#include "common/Counted.h"
#include "names/ArchiveRecord.h"
#include "names/NamesFile.h"
#include "run/Night.h"
#include "run/ShowMessage.h"
#include "run/frmQuarnLogBackup.h"

namespace quarn {
namespace {

// A box that lists every log can grow taller than the screen and hide its button.
constexpr std::size_t kLogsListedInABox = 10;

std::wstring ListOf(const std::vector<std::wstring>& items) {
    std::wstring list;
    for (std::size_t i = 0; i < items.size() && i < kLogsListedInABox; ++i) {
        list += L"\r\n" + items[i];
    }
    if (items.size() > kLogsListedInABox) {
        list += L"\r\n\u2026 and " + std::to_wstring(items.size() - kLogsListedInABox) +
                L" more (see " + kRunLogFile + L")";
    }
    return list;
}

[[noreturn]] void StopForSecondDamage(const std::wstring& archive, const std::wstring& damage,
                                      const std::wstring& setAside) {
    throw RunStopped(ExitCode::ArchiverFailed,
                     L"The new archive " + archive + L" is damaged too: " + damage +
                         L". The damaged archive before it is kept as " + setAside +
                         L". Check its drive for errors.");
}

}  // namespace

void frmQuarnLogBackup::ListAndZipFiles() {
    const std::wstring archive = ArchivePath(sBackupDir, sZipFile);
    std::wstring setAside;     // where a damaged archive went
    std::wstring damageFound;  // and why
    for (;;) {
        const std::optional<std::wstring> damage = ArchiveOnce(setAside);
        if (!damage) break;
        if (!setAside.empty()) StopForSecondDamage(archive, *damage, setAside);
        setAside = SetAsideDamagedArchive(platform_, archive, NamesFilePath(archive),
                                          DayNumber(platform_.Now()));
        damageFound = *damage;
    }
    const std::wstring setAsideText =
        setAside.empty()
            ? std::wstring()
            : L"The archive " + archive + L" was damaged: " + damageFound + L". It was set aside as " +
                  setAside + L", with its names list beside it, and is never written again; a "
                  L"new archive was made with every log" +
                  (carried_ > 0 ? L" and " + Counted(carried_, L"entry", L"entries") +
                                      L" that only the damaged archive held (earlier versions, logs "
                                      L"that have gone)"
                                : L"") +
                  L"." +
                  (lost_.empty() ? L""
                                 : L" The damaged archive no longer yields " +
                                       Counted(lost_.size(), L"entry", L"entries") + L" whole:" +
                                       ListOf(lost_) + L"\r\n") +
                  L" What only the damaged archive still holds can be salvaged with \"rar r " +
                  setAside + L"\".";
    if (!summary_.notCopied.empty()) {
        throw RunStopped(ExitCode::NotAllStaged,
                         L"These log files could not be copied:" + ListOf(summary_.notCopied) +
                             L"\r\n\r\nAll other log files were backed up to " + archive + L"." +
                             (setAside.empty() ? L"" : L"\r\n\r\n" + setAsideText));
    }
    if (!setAside.empty()) throw RunStopped(ExitCode::DamagedArchiveSetAside, setAsideText);
    ShowMessage(L"Quarn Log files Backed Up");
}

std::optional<std::wstring> frmQuarnLogBackup::ArchiveOnce(const std::wstring& setAside) {
    const std::wstring archive = ArchivePath(sBackupDir, sZipFile);
    StagingFolder staging(platform_, programFolder_);
    const NightPlace place{sDataDir, archive, programFolder_, waitLimits_.listingMs, waitLimits_.archiverMs,
                           setAside};
    Tonight night = StageNight(platform_, place, staging);
    const StagingResult& result = night.result;
    if (result.damage) return result.damage;
    summary_.notCopied.clear();
    for (const NotCopied& log : result.notCopied) {
        summary_.notCopied.push_back(log.path + L": " + log.reason);
    }
    summary_.notFound = result.notFound;
    summary_.unchanged = result.unchanged;
    summary_.fullRunReason = result.fullRunReason;
    AddNote(result.namesNote);
    AddNote(result.listingNote);
    carried_ = result.carried;
    lost_ = result.lost;

    ShowMessage(L"Current Directory : " + staging.Path());
    // "archived N logs" counts this run's copies; earlier runs' copies are told apart.
    const std::size_t staged = result.copied + result.earlierCopies + result.leftovers + result.carried;
    CopiesAdded archiver;
    // Nothing to archive: the archive stays as it is.
    summary_.archiverSkipped = staged == 0;
    if (staged > 0) {
        try {
            KeepThePast(platform_, place, staging.Path(), night);
            archiver = RunArchiver(platform_, archive, staging.Path(), waitLimits_.archiverMs);
        } catch (const RunStopped& stopped) {
            summary_.notArchived = staged;
            AddNote(stopped.Note());
            AddNote(night.Notes());
            if (result.notCopied.empty()) throw;
            throw RunStopped(stopped.Code(), stopped.Message() +
                                                 L"\r\n\r\nThese log files could not be copied "
                                                 L"either:" + ListOf(summary_.notCopied));
        }
        AddNote(archiver.note);
    }
    const Confirmation confirmation = [&] {
        try {
            return ConfirmNight(platform_, place, night, staged > 0, archiver.exitCode);
        } catch (const RunStopped&) {
            AddNote(night.Notes());
            throw;
        }
    }();
    AddNote(night.Notes());
    if (confirmation.damage) return confirmation.damage;
    // Named in the list, but not yielded whole by the archive set aside, or not in it.
    for (const std::wstring& name : confirmation.forgotten) {
        if (std::find(lost_.begin(), lost_.end(), name) == lost_.end()) lost_.push_back(name);
    }
    summary_.archived = confirmation.confirmed;
    if (!confirmation.recorded) {
        AddNote(L"What the archive holds could not be recorded in " + NamesFilePath(archive) +
                L" (" + platform_.ErrorText(confirmation.recorded.Error()) +
                L"), so the next run archives every log.");
    }
    NoteWhatWasKeptOrLeft(result);
    if (!confirmation.missing.empty()) {
        summary_.notArchived = confirmation.missing.size();
        throw RunStopped(ExitCode::ArchiverFailed,
                         L"The archive " + archive + L", read back, does not hold " +
                             Counted(confirmation.missing.size(), L"copy", L"copies") +
                             L" as the archiver took " +
                             (confirmation.missing.size() == 1 ? L"it" : L"them") + L":" +
                             ListOf(confirmation.missing) +
                             L"\r\n\r\nTheir logs are archived again by the next run.");
    }
    return {};
}

void frmQuarnLogBackup::NoteWhatWasKeptOrLeft(const StagingResult& result) {
    const std::wstring names = NamesFilePath(ArchivePath(sBackupDir, sZipFile));
    if (result.rewritten > 0) {
        AddNote(Counted(result.rewritten, L"log was", L"logs were") +
                L" rewritten, not added to: what the archive held of " +
                (result.rewritten == 1 ? L"it" : L"them") +
                L" is kept under a dated name (see " + names + L").");
    }
    if (result.leftovers > 0) {
        AddNote(Counted(result.leftovers, L"copy left by an earlier run (of a log that is gone) was",
                        L"copies left by an earlier run (of logs that are gone) were") +
                L" archived too.");
    }
    if (result.staleLeftovers > 0) {
        AddNote(Counted(result.staleLeftovers, L"copy left by an earlier run was",
                        L"copies left by an earlier run were") +
                L" older than what the archive holds, and removed.");
    }
}

void frmQuarnLogBackup::AddNote(const std::wstring& text) {
    if (text.empty()) return;
    summary_.note += (summary_.note.empty() ? L"" : L" ") + text;
}

}  // namespace quarn
