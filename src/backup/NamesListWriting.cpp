#include "backup/NamesList.h"

#include "common/TextEncoding.h"

namespace quarn {
namespace {

std::string Hex8(std::uint32_t value) {
    std::string text(8, '0');
    for (std::size_t i = 8; i-- > 0; value >>= 4) text[i] = "0123456789abcdef"[value & 0xF];
    return text;
}

}  // namespace

std::string NameLineText(std::string_view name, std::string_view source,
                         const std::optional<EntryRecord>& record,
                         std::optional<std::int64_t> keptDay,
                         std::optional<std::int64_t> missingSince) {
    std::string line;
    line.reserve(name.size() + source.size() + 48);
    line += name;
    line += '\t';
    line += source;
    if (keptDay) {
        line += "\tkept:" + ToUtf8(DayText(*keptDay));
    } else if (record) {
        line += '\t' + std::to_string(record->stamp.size) + '\t' +
                std::to_string(record->stamp.lastWrite);
        if (record->crc) line += '\t' + Hex8(*record->crc);
    }
    if (missingSince) line += "\tmissing:" + ToUtf8(DayText(*missingSince));
    return line;
}

std::string FullRunLineText(const FullRunLine& line) {
    return std::string(kFullRunMark) + '\t' + ToUtf8(line.dataDir) + '\t' + ToUtf8(DayText(line.day));
}

}  // namespace quarn
