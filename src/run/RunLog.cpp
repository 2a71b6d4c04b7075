#include "run/RunLog.h"

#include "common/PathText.h"
#include "common/TextEncoding.h"

namespace quarn {
namespace {

std::wstring TwoDigits(int value) { return (value < 10 ? L"0" : L"") + std::to_wstring(value); }

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

}  // namespace

std::wstring RunLogLine(const LocalTime& at, ExitCode code, const RunSummary& summary,
                        std::uint64_t elapsedMs, const std::wstring& stopText) {
    std::wstring line = std::to_wstring(at.year) + L"-" + TwoDigits(at.month) + L"-" +
                        TwoDigits(at.day) + L" " + TwoDigits(at.hour) + L":" +
                        TwoDigits(at.minute) + L":" + TwoDigits(at.second);
    line += L"  exit " + std::to_wstring(static_cast<int>(code));
    line += L"  archived " + std::to_wstring(summary.archived) + L" logs";
    if (summary.notCopied > 0) {
        line += L" (" + std::to_wstring(summary.notCopied) + L" could not be copied)";
    }
    if (!summary.archivePath.empty()) line += L" to " + summary.archivePath;
    line += L" in " + std::to_wstring(elapsedMs / 1000) + L"." +
            std::to_wstring(elapsedMs % 1000 / 100) + L" s";
    if (!summary.note.empty()) line += L"  " + Folded(summary.note);
    if (!stopText.empty()) line += L"  " + Folded(stopText);
    return line;
}

void AppendRunLog(Platform& platform, const std::wstring& folder, const std::wstring& line) {
    const std::wstring logFile = JoinPath(folder, kRunLogFile);
    std::uint64_t size = platform.FileSize(logFile).value_or(0);
    if (size > kRunLogRollOverBytes &&
        platform.MoveFileOver(logFile, JoinPath(folder, kOldRunLogFile)) == 0) {
        size = 0;
    }
    const std::string bytes = ToUtf8(line + L"\r\n");
    platform.AppendFileBytes(logFile, size == 0 ? kUtf8ByteOrderMark + bytes : bytes);
}

}  // namespace quarn
