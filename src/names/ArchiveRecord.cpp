#include "names/ArchiveRecord.h"

#include <vector>

#include "common/NumberText.h"
#include "common/TextEncoding.h"
#include "common/TextLines.h"

namespace quarn {

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
