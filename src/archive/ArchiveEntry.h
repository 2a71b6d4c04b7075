#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quarn {

// One file an archive holds, as its listing or its own headers give it.
struct ArchiveEntry {
    std::wstring name;
    std::uint64_t size = 0;              // unpacked
    std::optional<std::uint32_t> crc32;  // of the data; none where the archive keeps none

    bool operator==(const ArchiveEntry& other) const {
        return name == other.name && size == other.size && crc32 == other.crc32;
    }
};

}  // namespace quarn
