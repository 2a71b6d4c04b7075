#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "names/ArchiveRecord.h"
#include "names/StagingNames.h"
#include "platform/Platform.h"

namespace quarn {

// Whether tonight archives every log or only the changed ones, and why.
struct RunKind {
    bool full = true;
    std::wstring reason;         // why every log; empty when only the changed ones
    bool archiveExists = false;  // the archive was there when the night began
};

// Any doubt makes a full run (see FullRunReason); a reason given (a damaged archive
// set aside) makes one too. leftovers: copies of an earlier night wait.
RunKind DecideRunKind(Platform& platform, const std::wstring& archivePath, const std::wstring& dataDir,
                      const StagingNames& names, bool namesWhole, bool leftovers, std::int64_t today,
                      const std::wstring& forcedReason);

// The archive's full path as the file system folds it: how the list knows it.
std::wstring ArchiveKey(Platform& platform, const std::wstring& archivePath);

// This computer's name, which the list keeps: two computers must never back up into
// one archive.
std::wstring ThisComputer(Platform& platform);
void RefuseAnotherComputersList(Platform& platform, const std::wstring& archivePath,
                                const std::wstring& listComputer, const std::wstring& thisComputer);

struct DueTest {
    bool tested = false;                 // tested whole tonight, and found so
    std::optional<std::wstring> damage;  // why the archive is damaged
};

// Tests the archive whole when the run is full or the last good test is more than
// kTestDays old (or dated ahead). note: see RunArchiverCommand.
DueTest TestIfDue(Platform& platform, const std::wstring& archivePath, const std::wstring& programFolder,
                  std::uint32_t timeoutMs, const std::optional<ArchiveRecord>& recorded, bool fullRun,
                  std::int64_t today, std::wstring& note);

}  // namespace quarn
