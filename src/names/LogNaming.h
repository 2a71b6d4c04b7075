#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/ArchiveContents.h"
#include "names/NameRecovery.h"
#include "names/StagingNames.h"
#include "platform/Platform.h"

namespace quarn {

// The names of the listed logs, in the order of the listing.
struct NamedLogs {
    std::vector<std::size_t> entries;   // each log's entry in the names list
    std::vector<std::wstring> unfit;    // logs no name that an archive entry may have can be made of
};

// Gives each listed log its lasting name: the one the list gives it, else, where the
// archive was read, an entry of its own that it proves (see TakeBackEntries), else a
// new one. Takes the logs one at a time as the listing gives them, and keeps only those
// the list does not know: a night with thousands of logs holds no second list of them.
class LogNamer {
public:
    explicit LogNamer(StagingNames& names) : names_(names) {}
    void Add(const std::wstring& log);
    // before: what the archive holds, where it was read. Adds to note what was taken back.
    NamedLogs Named(Platform& platform, const EntriesByName* before, std::wstring& note);

private:
    StagingNames& names_;
    NamedLogs named_;
    std::vector<UnnamedLog> unnamed_;
    std::vector<std::size_t> slots_;  // where each of unnamed_ goes in named_.entries
};

// Holds every name the archive holds that the list lacks; how many it held.
std::size_t ReserveArchiveNames(StagingNames& names, const EntriesByName& entries);

// A log of the data folder that is not listed is told once, on the night that first
// misses it: returns how many were first missed. Stops the run (exit 14) when none of
// the data folder's known logs is listed any more.
std::size_t MarkMissing(StagingNames& names, const std::vector<std::size_t>& listed,
                        const std::wstring& dataDir, std::int64_t today, const std::wstring& archivePath);

// The listed logs to copy: every one in a full run; else those without a record, or
// whose stamp moved from it, or that cannot be looked at (the copy then tells why).
std::vector<std::size_t> ChangedLogs(Platform& platform, const StagingNames& names,
                                     const std::vector<std::size_t>& listed, bool fullRun);

}  // namespace quarn
