#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/Calendar.h"
#include "platform/Platform.h"

namespace quarn {

// The first word of the names list's line about the archive itself: no staged name
// can hold a colon.
inline constexpr char kArchiveRecordMark[] = ":archive";
// Beyond this many days since a data folder's last full run, its next run is full again.
inline constexpr std::int64_t kFullRunDays = 30;
// Beyond this many days since the archive was last tested whole, it is tested again.
inline constexpr std::int64_t kTestDays = 7;

// The count and CRC-32 of the list's lines after its :archive line, so that a list
// cut short or put together from pieces is known for what it is.
struct ListSeal {
    std::uint64_t lines = 0;
    std::uint32_t crc = 0;
    bool operator==(const ListSeal& other) const { return lines == other.lines && crc == other.crc; }
};

// What the names list keeps about the archive after a good run, so that the next
// run can tell whether the records of its entries still describe it.
struct ArchiveRecord {
    std::wstring archive;  // the archive's full path, folded
    FileStamp stamp;
    std::optional<FileIdentity> identity;  // where the file system has one
    std::int64_t lastFullRunDay = 0;       // see DayNumber: the newest full run of any data folder
    bool finished = true;  // false from the moment a run stages copies until it ends well
    std::wstring computer;        // whose logs the list names; empty in lists of earlier versions
    std::int64_t lastTestDay = 0;  // the last day the archive was tested whole; 0: never
    std::optional<ListSeal> seal;  // none in lists of earlier versions
};

// The line (UTF-8, no line end): the mark, then tab-separated fields.
std::string ArchiveRecordLine(const ArchiveRecord& record);
// None when the line is not a whole record.
std::optional<ArchiveRecord> ParseArchiveRecord(std::string_view line);

// What the run finds about the archive and its records.
struct ArchiveState {
    std::optional<ArchiveRecord> recorded;  // none when the names list was not read whole
    std::wstring archive;                   // full path, folded
    std::optional<FileStamp> stamp;         // none when the archive is missing or unreadable
    std::wstring unreadable;                // why the archive could not be looked at
    std::optional<FileIdentity> identity;
    std::int64_t today = 0;
    std::optional<std::int64_t> lastFullRunOfDataDir;  // of this run's data folder
    bool leftovers = false;  // copies that an earlier run left wait in the staging folder
};

// Why this run must archive every log; empty when only the changed logs need to be.
std::wstring FullRunReason(const ArchiveState& state);

}  // namespace quarn
