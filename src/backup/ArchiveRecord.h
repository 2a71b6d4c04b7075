#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/Platform.h"

namespace quarn {

// The first word of the names file's line about the archive itself: no staged name
// can hold a colon.
inline constexpr char kArchiveRecordMark[] = ":archive";
// Beyond this many days since the last full run, the next run is full again.
inline constexpr std::int64_t kFullRunDays = 30;

// What the names file keeps about the archive after a good run, so that the next
// run can tell whether the records of its entries still describe it.
struct ArchiveRecord {
    std::wstring archive;  // the archive's full path, folded
    FileStamp stamp;
    std::optional<FileIdentity> identity;  // where the file system has one
    std::int64_t lastFullRunDay = 0;       // see DayNumber
    bool finished = true;  // false from the moment a run stages copies until it ends well
};

// The line (UTF-8, no line end): the mark, then tab-separated fields.
std::string ArchiveRecordLine(const ArchiveRecord& record);
// None when the line is not a whole record.
std::optional<ArchiveRecord> ParseArchiveRecord(const std::string& line);

// Days since 1970-01-01 of the local date.
std::int64_t DayNumber(const LocalTime& at);

// What the run finds about the archive and its records.
struct ArchiveState {
    std::optional<ArchiveRecord> recorded;  // none when the names file was not read whole
    std::wstring archive;                   // full path, folded
    std::optional<FileStamp> stamp;         // none when the archive is missing or unreadable
    std::wstring unreadable;                // why the archive could not be looked at
    std::optional<FileIdentity> identity;
    std::int64_t today = 0;
    bool leftovers = false;  // copies that an earlier run left wait in the staging folder
};

// Why this run must archive every log; empty when only the changed logs need to be.
std::wstring FullRunReason(const ArchiveState& state);

}  // namespace quarn
