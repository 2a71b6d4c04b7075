#include "names/NamesList.h"

#include "common/NumberText.h"
#include "common/TextEncoding.h"

namespace quarn {
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
        if (record->crc) {
            line += '\t' + Hex8(*record->crc) + '\t' + std::to_string(record->stamp.changeTime);
        }
    }
    if (missingSince) line += "\tmissing:" + ToUtf8(DayText(*missingSince));
    return line;
}

std::string FullRunLineText(const FullRunLine& line) {
    return std::string(kFullRunMark) + '\t' + ToUtf8(line.dataDir) + '\t' + ToUtf8(DayText(line.day));
}

}  // namespace quarn
