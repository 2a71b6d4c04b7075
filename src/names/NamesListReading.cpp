#include <algorithm>
#include <vector>

#include "common/Crc32.h"
#include "common/NumberText.h"
#include "common/TextEncoding.h"
#include "common/TextLines.h"
#include "names/NamesList.h"
#include "names/StagedName.h"

namespace quarn {
namespace {

// A full path as the listing gives it: a "\" and no control character.
bool IsFitSource(const std::wstring& source) {
    return source.find(L'\\') != std::wstring::npos &&
           std::none_of(source.begin(), source.end(), [](wchar_t c) { return c < 0x20; });
}

// "word:YYYY-MM-DD"
std::optional<std::int64_t> TaggedDay(const std::string& field, std::string_view tag) {
    if (field.size() <= tag.size() || field.compare(0, tag.size(), tag) != 0) return std::nullopt;
    return ParseDay(std::string_view(field).substr(tag.size()));
}

std::optional<NamesListLine> ParseFullRunLine(const std::vector<std::string>& fields) {
    const std::optional<std::wstring> dataDir = FromUtf8(fields[1]);
    const std::optional<std::int64_t> day = ParseDay(fields[2]);
    if (fields.size() != 3 || !dataDir || dataDir->empty() || !day) return std::nullopt;
    return FullRunLine{*dataDir, *day};
}

// A name's line: the name, the log's path, then its record, its kept day or the
// day it went missing.
std::optional<NamesListLine> ParseNameLine(const std::vector<std::string>& fields) {
    const std::optional<std::wstring> name = FromUtf8(fields[0]);
    const std::optional<std::wstring> source = FromUtf8(fields[1]);
    if (!name || !source || !IsFitStagedName(*name) || (!source->empty() && !IsFitSource(*source))) {
        return std::nullopt;
    }
    NameLine line{*name, *source, std::nullopt, std::nullopt, std::nullopt};
    std::size_t next = 2;
    const auto more = [&] { return next < fields.size() && !source->empty(); };
    if (more()) line.keptDay = TaggedDay(fields[next], "kept:");
    if (line.keptDay) {
        ++next;
    } else if (const std::optional<std::uint64_t> size = more() ? ParseDecimal(fields[next]) : std::nullopt) {
        const std::optional<std::uint64_t> lastWrite =
            next + 1 < fields.size() ? ParseDecimal(fields[next + 1]) : std::nullopt;
        if (!lastWrite) return std::nullopt;
        next += 2;
        const std::optional<std::uint32_t> crc = next < fields.size() ? ParseHex8(fields[next]) : std::nullopt;
        if (crc) ++next;
        const std::optional<std::uint64_t> changeTime =
            crc && next < fields.size() ? ParseDecimal(fields[next]) : std::nullopt;
        if (changeTime) ++next;
        line.record = EntryRecord{{*size, *lastWrite, changeTime.value_or(0)}, crc};
    }
    if (more() && !line.keptDay) line.missingSince = TaggedDay(fields[next], "missing:");
    if (line.missingSince) ++next;
    // A name the archive alone holds has an empty last field: "name<tab>".
    if (next != fields.size()) return std::nullopt;
    return NamesListLine(std::move(line));
}

}  // namespace

std::optional<NamesListLine> ParseNamesListLine(std::string_view line) {
    const std::vector<std::string> fields = TabFields(line);
    if (fields[0] == kArchiveRecordMark) {
        std::optional<ArchiveRecord> record = ParseArchiveRecord(line);
        if (!record) return std::nullopt;
        return NamesListLine(std::move(*record));
    }
    if (fields[0] == kFullRunMark) return fields.size() == 3 ? ParseFullRunLine(fields) : std::nullopt;
    if (fields.size() < 2) return std::nullopt;
    return ParseNameLine(fields);
}

void Seal(ListSeal& seal, std::string_view line) {
    ++seal.lines;
    seal.crc = Crc32(seal.crc, line.data(), line.size());
    seal.crc = Crc32(seal.crc, "\n", 1);
}

}  // namespace quarn
