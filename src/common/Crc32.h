#pragma once

#include <cstddef>
#include <cstdint>

namespace quarn {

// The CRC-32 the RAR archiver keeps for each entry (IEEE 802.3, reflected). Fed in
// pieces: start from 0, pass each result on with the next piece.
std::uint32_t Crc32(std::uint32_t crc, const void* data, std::size_t size);

}  // namespace quarn
