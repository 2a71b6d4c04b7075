#include "fakes/Rar5Writer.h"

#include <cstdint>
#include <optional>

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

// A vint at, moving at past it; none when the bytes end first.
std::optional<std::uint64_t> ReadVint(const std::string& bytes, std::size_t& at) {
    std::uint64_t value = 0;
    for (int shift = 0; at < bytes.size() && shift < 64; shift += 7) {
        const auto byte = static_cast<unsigned char>(bytes[at++]);
        value |= std::uint64_t{byte & 0x7Fu} << shift;
        if ((byte & 0x80) == 0) return value;
    }
    return std::nullopt;
}

}  // namespace

StoredEntries Rar5StoredEntries(const std::string& archive) {
    StoredEntries stored;
    std::size_t at = 8;
    stored.whole = false;
    while (at + 4 < archive.size()) {
        std::uint32_t crc = 0;
        for (int i = 0; i < 4; ++i) crc |= std::uint32_t{static_cast<unsigned char>(archive[at + i])} << (8 * i);
        std::size_t field = at + 4;
        const std::optional<std::uint64_t> size = ReadVint(archive, field);
        if (!size || field + *size > archive.size()) return stored;
        if (Crc32(0, archive.data() + at + 4, field - at - 4 + *size) != crc) return stored;
        std::size_t p = field;
        const std::uint64_t type = ReadVint(archive, p).value_or(0);
        const std::uint64_t flags = ReadVint(archive, p).value_or(0);
        if (flags & 0x1) ReadVint(archive, p);
        const std::uint64_t dataSize = (flags & 0x2) ? ReadVint(archive, p).value_or(0) : 0;
        const std::size_t dataAt = field + *size;
        if (dataAt + dataSize > archive.size()) return stored;
        if (type == 5) {
            stored.whole = true;
            return stored;
        }
        if (type == 2) {
            const std::uint64_t fileFlags = ReadVint(archive, p).value_or(0);
            ReadVint(archive, p);  // unpacked size
            ReadVint(archive, p);  // attributes
            if (fileFlags & 0x2) p += 4;
            if (fileFlags & 0x4) p += 4;
            ReadVint(archive, p);  // compression
            ReadVint(archive, p);  // host
            const std::uint64_t nameSize = ReadVint(archive, p).value_or(0);
            stored.entries.emplace_back(FromUtf8(archive.substr(p, nameSize)).value_or(L""),
                                        archive.substr(dataAt, dataSize));
        }
        at = dataAt + dataSize;
    }
    return stored;
}

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
