#include "common/Crc32.h"

#include <array>

namespace quarn {
namespace {

// Eight tables, so that eight bytes take one step: every log a run copies passes
// through here, and a first run copies hundreds of megabytes.
using Tables = std::array<std::array<std::uint32_t, 256>, 8>;

Tables MakeTables() {
    Tables tables{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit) c = (c & 1) != 0 ? 0xEDB88320U ^ (c >> 1) : c >> 1;
        tables[0][i] = c;
    }
    for (std::uint32_t i = 0; i < 256; ++i) {
        for (std::size_t t = 1; t < tables.size(); ++t) {
            tables[t][i] = (tables[t - 1][i] >> 8) ^ tables[0][tables[t - 1][i] & 0xFF];
        }
    }
    return tables;
}

}  // namespace

std::uint32_t Crc32(std::uint32_t crc, const void* data, std::size_t size) {
    static const Tables kTables = MakeTables();
    const auto* bytes = static_cast<const unsigned char*>(data);
    crc = ~crc;
    for (; size >= 8; size -= 8, bytes += 8) {
        const std::uint32_t low = crc ^ (bytes[0] | bytes[1] << 8 | bytes[2] << 16 |
                                         static_cast<std::uint32_t>(bytes[3]) << 24);
        crc = kTables[7][low & 0xFF] ^ kTables[6][(low >> 8) & 0xFF] ^
              kTables[5][(low >> 16) & 0xFF] ^ kTables[4][low >> 24] ^ kTables[3][bytes[4]] ^
              kTables[2][bytes[5]] ^ kTables[1][bytes[6]] ^ kTables[0][bytes[7]];
    }
    for (; size > 0; --size, ++bytes) crc = kTables[0][(crc ^ *bytes) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

}  // namespace quarn
