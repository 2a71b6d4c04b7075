#include "fakes/Rar5Writer.h"

#include <cstdint>

#include "common/Crc32.h"
#include "common/TextEncoding.h"

namespace quarn::testing {
namespace {

void Vint(std::string& out, std::uint64_t value) {
    do {
        const auto low = static_cast<char>(value & 0x7F);
        value >>= 7;
        out += static_cast<char>(low | (value != 0 ? 0x80 : 0));
    } while (value != 0);
}

void Le32(std::string& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// CRC-32 of the size field and the header, then both.
std::string Block(const std::string& header) {
    std::string sized;
    Vint(sized, header.size());
    sized += header;
    std::string block;
    Le32(block, Crc32(0, sized.data(), sized.size()));
    return block + sized;
}

}  // namespace

std::string Rar5Archive(const std::vector<std::pair<std::wstring, std::string>>& entries) {
    std::string archive("Rar!\x1A\x07\x01\x00", 8);
    std::string main;
    Vint(main, 1);  // main archive header
    Vint(main, 0);  // no extra or data area
    Vint(main, 0);  // archive flags
    archive += Block(main);
    for (const auto& [name, bytes] : entries) {
        const std::string utf8 = ToUtf8(name);
        std::string file;
        Vint(file, 2);       // file header
        Vint(file, 0x2);     // with a data area
        Vint(file, bytes.size());
        Vint(file, 0x4);     // CRC-32 present
        Vint(file, bytes.size());
        Vint(file, 0x20);    // attributes: archive
        Le32(file, Crc32(0, bytes.data(), bytes.size()));
        Vint(file, 0);       // stored
        Vint(file, 0);       // Windows
        Vint(file, utf8.size());
        file += utf8;
        archive += Block(file) + bytes;
    }
    std::string end;
    Vint(end, 5);  // end of archive
    Vint(end, 0);
    Vint(end, 0);
    archive += Block(end);
    return archive;
}

}  // namespace quarn::testing
