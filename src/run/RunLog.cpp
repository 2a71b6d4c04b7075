#include "run/RunLog.h"

#include "common/PathText.h"
#include "common/TextEncoding.h"
#include "common/TextLines.h"

namespace quarn {
namespace {

constexpr char kLateMark[] = "  (late: QuarnBackup.log could not be written when this run ended)";

std::wstring Folded(const std::wstring& text) {
    std::wstring folded;
    bool inBreak = false;
    for (wchar_t c : text) {
        const bool isBreak = c == L'\r' || c == L'\n';
        if (isBreak && !inBreak) folded += L" | ";
        if (!isBreak) folded += c;
        inBreak = isBreak;
    }
    return folded;
}

// "1,234,567": counts of thousands of logs are read at a glance.
std::wstring Count(std::size_t value) {
    std::wstring digits = std::to_wstring(value);
    for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, L",");
    return digits;
}

// "1 log", "2 changed logs": the count with its noun.
std::wstring Logs(std::size_t count, const std::wstring& adjective = L"") {
    const std::wstring before = adjective.empty() ? L" " : L" " + adjective + L" ";
    return Count(count) + before + (count == 1 ? L"log" : L"logs");
}

// A run that stopped before it looked at any log, or was refused.
bool DidNothing(const RunSummary& summary) {
    return !summary.unchanged && summary.fullRunReason.empty() && summary.archived == 0 &&
           summary.notArchived == 0 && summary.notCopied.empty();
}

bool NothingChanged(const RunSummary& summary) {
    return summary.fullRunReason.empty() && summary.unchanged && summary.archiverSkipped &&
           summary.notCopied.empty();
}

std::wstring WhatWasDone(const RunSummary& summary) {
    if (!summary.fullRunReason.empty()) {
        return L"full run (" + summary.fullRunReason + L"): archived " + Logs(summary.archived);
    }
    if (!summary.unchanged) return L"archived " + Logs(summary.archived);
    if (NothingChanged(summary)) {
        return L"nothing changed (" + Logs(*summary.unchanged) +
               L" unchanged, the archiver was not started)";
    }
    return L"archived " + Logs(summary.archived, L"changed") + L" (" + Count(*summary.unchanged) +
           L" unchanged)";
}

// At most kRunLogLineBytes in UTF-8, a cut marked with an ellipsis.
std::wstring Capped(const std::wstring& line) {
    if (ToUtf8(line).size() <= kRunLogLineBytes) return line;
    std::size_t fits = 0;
    std::size_t tooLong = line.size();
    while (tooLong - fits > 1) {
        const std::size_t middle = fits + (tooLong - fits) / 2;
        (ToUtf8(line.substr(0, middle)).size() + 3 <= kRunLogLineBytes ? fits : tooLong) = middle;
    }
    // Never between the two halves of a UTF-16 pair.
    if (fits > 0 && line[fits - 1] >= 0xD800 && line[fits - 1] < 0xDC00) --fits;
    return line.substr(0, fits) + L"\u2026";
}

// Each run's first line gets the mark; the lines below it begin with spaces.
std::string MarkedLate(const std::string& pending) {
    std::string marked;
    EachLine(pending, [&](std::string_view line) {
        if (line.empty()) return;
        marked += line;
        marked += (line[0] == ' ' ? "" : kLateMark);
        marked += "\r\n";
    });
    return marked;
}

}  // namespace

std::wstring RunLogLine(const LocalTime& at, ExitCode code, const RunSummary& summary,
                        std::uint64_t elapsedMs, const std::wstring& stopText) {
    std::wstring line = LocalTimeText(at, true);
    line += L"  exit " + std::to_wstring(static_cast<int>(code));
    const bool didNothing = DidNothing(summary) && code != ExitCode::Done;
    line += L"  " + (didNothing ? std::wstring(L"did nothing") : WhatWasDone(summary));
    if (summary.notArchived > 0) line += L" (" + Logs(summary.notArchived) + L" not archived)";
    if (!summary.notCopied.empty()) {
        line += L" (" + std::to_wstring(summary.notCopied.size()) + L" could not be copied)";
    }
    if (!summary.archivePath.empty()) {
        line += (NothingChanged(summary) || didNothing ? L" for " : L" to ") + summary.archivePath;
    }
    line += L" in " + std::to_wstring(elapsedMs / 1000) + L"." +
            std::to_wstring(elapsedMs % 1000 / 100) + L" s";
    if (summary.notFound > 0) {
        line += L"  " + Logs(summary.notFound) + L" known before " +
                (summary.notFound == 1 ? L"has" : L"have") + L" gone missing";
    }
    if (!summary.note.empty()) line += L"  " + Folded(summary.note);
    if (!stopText.empty()) line += L"  " + Folded(stopText);
    return Capped(line);
}

std::wstring RunLogRecord(const std::wstring& line, const RunSummary& summary) {
    std::wstring record = line + L"\r\n";
    for (const std::wstring& log : summary.notCopied) {
        record += Capped(L"  not copied: " + Folded(log)) + L"\r\n";
    }
    return record;
}

RunLogWrite AppendRunLog(Platform& platform, const std::wstring& folder,
                         const std::wstring& record, RunLogRollOver rollOver) {
    const std::wstring logFile = JoinPath(folder, kRunLogFile);
    const std::wstring pendingFile = JoinPath(folder, kPendingRunLogFile);
    const Result<std::string> pending = platform.ReadFileBytes(pendingFile);
    const std::string bytes = (pending ? MarkedLate(*pending) : "") + ToUtf8(record);

    const Result<FileStamp> log = platform.StampOf(logFile);
    std::uint64_t size = log ? log->size : 0;
    if (size > kRunLogRollOverBytes && rollOver == RunLogRollOver::Allowed &&
        platform.MoveFileOver(logFile, JoinPath(folder, kOldRunLogFile))) {
        size = 0;
    }
    if (platform.AppendFileBytes(logFile, size == 0 ? kUtf8ByteOrderMark + bytes : bytes)) {
        // Written twice at worst, marked late, if the pending file stays.
        if (pending) static_cast<void>(platform.RemoveFile(pendingFile));
        return RunLogWrite::Written;
    }
    // Bounded: a log that stays unwritable must not fill the drive with waiting lines.
    if (pending && pending->size() > kRunLogRollOverBytes) return RunLogWrite::Lost;
    return platform.AppendFileBytes(pendingFile, ToUtf8(record)) ? RunLogWrite::Pending
                                                                 : RunLogWrite::Lost;
}

}  // namespace quarn
