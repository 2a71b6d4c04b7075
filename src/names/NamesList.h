#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "names/ArchiveRecord.h"
#include "platform/Platform.h"

namespace quarn {

// The names list beside the archive: UTF-8, one line per name, after a first line
// about the archive itself (ArchiveRecordLine) that seals the rest.
//
// A name's line: the staged name, a tab, the log's full path (nothing for a name
// that an archive entry holds whose log is not known), then, tab-separated:
// - once the log's entry was confirmed in the archive: the size of what was archived,
//   the log's last write time as it was copied, the CRC-32 of what was archived
//   (eight hex digits) and the log's change time as it was copied (lists of earlier
//   versions have neither);
// - "kept:YYYY-MM-DD" instead, for an entry that keeps what the log held before it
//   was rewritten that day;
// - "missing:YYYY-MM-DD" at the end, for a log that was not found since that day.
// A line ":fullrun", a tab, a data folder's full path (folded), a tab and a date
// records the last full run of the logs of that folder.

// What the list keeps of a log once its entry was confirmed in the archive.
struct EntryRecord {
    FileStamp stamp;                   // the archived size, the log's write and change time as copied
    std::optional<std::uint32_t> crc;  // of what was archived
    bool operator==(const EntryRecord& other) const {
        return stamp == other.stamp && crc == other.crc;
    }
};

struct NameLine {
    std::wstring name;
    std::wstring source;
    std::optional<EntryRecord> record;
    std::optional<std::int64_t> keptDay;
    std::optional<std::int64_t> missingSince;
};

struct FullRunLine {
    std::wstring dataDir;  // folded full path
    std::int64_t day = 0;
};

inline constexpr char kFullRunMark[] = ":fullrun";

using NamesListLine = std::variant<ArchiveRecord, FullRunLine, NameLine>;

// Reading: none when the line is not of one of the forms above, or holds an unfit
// staged name or path.
std::optional<NamesListLine> ParseNamesListLine(std::string_view line);

// Writing: the line for a name or a full run, without its line end.
std::string NameLineText(std::string_view name, std::string_view source,
                         const std::optional<EntryRecord>& record,
                         std::optional<std::int64_t> keptDay,
                         std::optional<std::int64_t> missingSince);
std::string FullRunLineText(const FullRunLine& line);

// Adds one line (without its end) to the seal of the lines that follow the :archive line.
void Seal(ListSeal& seal, std::string_view line);

}  // namespace quarn
