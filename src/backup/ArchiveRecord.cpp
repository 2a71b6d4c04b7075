#include "backup/ArchiveRecord.h"

#include <vector>

#include "common/NumberText.h"
#include "common/TextEncoding.h"
#include "common/TextLines.h"

namespace quarn {
namespace {

// Days since 1970-01-01 back to the civil date (the inverse of DayNumber).
LocalTime DateOf(std::int64_t day) {
    day += 719468;
    const std::int64_t era = (day >= 0 ? day : day - 146096) / 146097;
    const std::int64_t dayOfEra = day - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    const int dayOfMonth = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    const int month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    const int year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
    return {year, month, dayOfMonth, 0, 0, 0};
}

}  // namespace

std::string ArchiveRecordLine(const ArchiveRecord& record) {
    const std::string identity =
        record.identity ? std::to_string(record.identity->volumeSerial) + ":" +
                              std::to_string(record.identity->fileIndex)
                        : "-";
    std::string line = std::string(kArchiveRecordMark) + "\t" + ToUtf8(record.archive) + "\t" +
                       std::to_string(record.stamp.size) + "\t" +
                       std::to_string(record.stamp.lastWrite) + "\t" + identity + "\t" +
                       std::to_string(record.lastFullRunDay) + "\t" +
                       (record.finished ? "finished" : "unfinished") + "\t" +
                       ToUtf8(record.computer) + "\t" + std::to_string(record.lastTestDay);
    if (record.seal) {
        line += "\t" + std::to_string(record.seal->lines) + "\t" + Hex8(record.seal->crc) + "\t" +
                std::to_string(record.stamp.changeTime);
    }
    return line;
}

std::optional<ArchiveRecord> ParseArchiveRecord(std::string_view line) {
    const std::vector<std::string> fields = TabFields(line);
    // Seven fields in the lists of earlier versions: no computer, test, seal or change time.
    if ((fields.size() != 7 && fields.size() != 12) || fields[0] != kArchiveRecordMark) {
        return std::nullopt;
    }
    const std::optional<std::wstring> archive = FromUtf8(fields[1]);
    const std::optional<std::uint64_t> size = ParseDecimal(fields[2]);
    const std::optional<std::uint64_t> lastWrite = ParseDecimal(fields[3]);
    const std::optional<std::uint64_t> day = ParseDecimal(fields[5]);
    if (!archive || archive->empty() || !size || !lastWrite || !day ||
        (fields[6] != "finished" && fields[6] != "unfinished")) {
        return std::nullopt;
    }
    ArchiveRecord record;
    record.archive = *archive;
    record.stamp = {*size, *lastWrite};
    record.lastFullRunDay = static_cast<std::int64_t>(*day);
    record.finished = fields[6] == "finished";
    if (fields[4] != "-") {
        const std::size_t colon = fields[4].find(':');
        const std::optional<std::uint64_t> serial = ParseDecimal(fields[4].substr(0, colon));
        const std::optional<std::uint64_t> index =
            colon == std::string::npos ? std::nullopt : ParseDecimal(fields[4].substr(colon + 1));
        if (!serial || !index || *serial > UINT32_MAX) return std::nullopt;
        record.identity = FileIdentity{static_cast<std::uint32_t>(*serial), *index};
    }
    if (fields.size() == 7) return record;
    const std::optional<std::wstring> computer = FromUtf8(fields[7]);
    const std::optional<std::uint64_t> tested = ParseDecimal(fields[8]);
    const std::optional<std::uint64_t> lines = ParseDecimal(fields[9]);
    const std::optional<std::uint32_t> crc = ParseHex8(fields[10]);
    const std::optional<std::uint64_t> changeTime = ParseDecimal(fields[11]);
    if (!computer || !tested || !lines || !crc || !changeTime) return std::nullopt;
    record.stamp.changeTime = *changeTime;
    record.computer = *computer;
    record.lastTestDay = static_cast<std::int64_t>(*tested);
    record.seal = ListSeal{*lines, *crc};
    return record;
}

std::int64_t DayNumber(const LocalTime& at) {
    // The days-from-civil count of the proleptic Gregorian calendar.
    const std::int64_t year = at.year - (at.month <= 2 ? 1 : 0);
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (at.month + (at.month > 2 ? -3 : 9)) + 2) / 5 + at.day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

std::wstring DayText(std::int64_t day) {
    return LocalTimeText(DateOf(day), false).substr(0, 10);
}

std::optional<std::int64_t> ParseDay(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
    const std::optional<std::uint64_t> year = ParseDecimal(text.substr(0, 4));
    const std::optional<std::uint64_t> month = ParseDecimal(text.substr(5, 2));
    const std::optional<std::uint64_t> dayOfMonth = ParseDecimal(text.substr(8, 2));
    if (!year || !month || !dayOfMonth) return std::nullopt;
    const std::int64_t day = DayNumber({static_cast<int>(*year), static_cast<int>(*month),
                                        static_cast<int>(*dayOfMonth), 0, 0, 0});
    if (DayText(day) != FromUtf8(std::string(text)).value_or(L"")) return std::nullopt;  // no such day
    return day;
}

std::wstring FullRunReason(const ArchiveState& state) {
    if (!state.unreadable.empty()) return L"the archive could not be looked at: " + state.unreadable;
    if (!state.stamp) return L"the archive was missing";
    if (!state.recorded) return L"no records of what the archive holds";
    const ArchiveRecord& recorded = *state.recorded;
    if (!recorded.finished || state.leftovers) return L"the last run did not end well";
    if (recorded.archive != state.archive) return L"BackupDir or ZipFile changed";
    if (recorded.stamp != *state.stamp || recorded.identity != state.identity) {
        return L"the archive was replaced or changed";
    }
    if (!state.lastFullRunOfDataDir) return L"no full run of this data folder yet";
    // A clock that was set ahead left a date that would hold off the next full run for years.
    if (*state.lastFullRunOfDataDir > state.today) return L"the last full run is dated in the future";
    if (state.today - *state.lastFullRunOfDataDir > kFullRunDays) {
        return L"the last full run was more than " + std::to_wstring(kFullRunDays) + L" days ago";
    }
    return {};
}

}  // namespace quarn
