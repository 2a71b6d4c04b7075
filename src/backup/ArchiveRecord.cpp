#include "backup/ArchiveRecord.h"

#include <stdexcept>
#include <vector>

#include "common/TextEncoding.h"
#include "common/TextLines.h"

namespace quarn {
namespace {

std::optional<std::uint64_t> Number(const std::string& text) {
    if (text.empty() || text.size() > 20 || text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    try {
        return std::stoull(text);
    } catch (const std::out_of_range&) {
        return std::nullopt;
    }
}

}  // namespace

std::string ArchiveRecordLine(const ArchiveRecord& record) {
    const std::string identity =
        record.identity ? std::to_string(record.identity->volumeSerial) + ":" +
                              std::to_string(record.identity->fileIndex)
                        : "-";
    return std::string(kArchiveRecordMark) + "\t" + ToUtf8(record.archive) + "\t" +
           std::to_string(record.stamp.size) + "\t" + std::to_string(record.stamp.lastWrite) +
           "\t" + identity + "\t" + std::to_string(record.lastFullRunDay) + "\t" +
           (record.finished ? "finished" : "unfinished");
}

std::optional<ArchiveRecord> ParseArchiveRecord(const std::string& line) {
    const std::vector<std::string> fields = TabFields(line);
    if (fields.size() != 7 || fields[0] != kArchiveRecordMark) return std::nullopt;
    const std::optional<std::wstring> archive = FromUtf8(fields[1]);
    const std::optional<std::uint64_t> size = Number(fields[2]);
    const std::optional<std::uint64_t> lastWrite = Number(fields[3]);
    const std::optional<std::uint64_t> day = Number(fields[5]);
    if (!archive || archive->empty() || !size || !lastWrite || !day ||
        (fields[6] != "finished" && fields[6] != "unfinished")) {
        return std::nullopt;
    }
    ArchiveRecord record{*archive, {*size, *lastWrite}, std::nullopt,
                         static_cast<std::int64_t>(*day), fields[6] == "finished"};
    if (fields[4] != "-") {
        const std::size_t colon = fields[4].find(':');
        const std::optional<std::uint64_t> serial = Number(fields[4].substr(0, colon));
        const std::optional<std::uint64_t> index =
            colon == std::string::npos ? std::nullopt : Number(fields[4].substr(colon + 1));
        if (!serial || !index || *serial > UINT32_MAX) return std::nullopt;
        record.identity = FileIdentity{static_cast<std::uint32_t>(*serial), *index};
    }
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
    if (state.today - recorded.lastFullRunDay > kFullRunDays) {
        return L"the last full run was more than " + std::to_wstring(kFullRunDays) + L" days ago";
    }
    return {};
}

}  // namespace quarn
