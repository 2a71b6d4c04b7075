// RAR 1.5 to 4.x block headers, as the archiver's maker describes them ("RAR version
// 4.20 - Technical information"): after the 7-byte marker block, blocks of HEAD_CRC,
// HEAD_TYPE, HEAD_FLAGS and HEAD_SIZE, the rest of the header, then the block's data.

#include <optional>
#include <utility>

#include "archive/ArchiveBlocks.h"
#include "common/Crc32.h"
#include "common/TextEncoding.h"

namespace quarn::archive_blocks {
namespace {

using Verdict = ArchiveReading::Verdict;

constexpr std::size_t kShortHeader = 7;  // HEAD_CRC, HEAD_TYPE, HEAD_FLAGS, HEAD_SIZE
constexpr std::size_t kLongHeader = 11;  // and ADD_SIZE

enum BlockType : std::uint8_t { kMain = 0x73, kFile = 0x74, kSubblock = 0x7A, kEnd = 0x7B };
// Flags of any block
constexpr std::uint16_t kHasAddSize = 0x8000;
// Main header flags
constexpr std::uint16_t kVolume = 0x0001;
constexpr std::uint16_t kHeadersEncrypted = 0x0080;
constexpr std::size_t kMainFields = 13;  // HEAD_CRC to RESERVED2
// File header (and subblock) flags
constexpr std::uint16_t kSplitBefore = 0x01;
constexpr std::uint16_t kSplitAfter = 0x02;
constexpr std::uint16_t kEncrypted = 0x04;
constexpr std::uint16_t kDictionaryBits = 0xE0;  // all three set: a folder
constexpr std::uint16_t kLargeSizes = 0x100;     // HIGH_PACK_SIZE and HIGH_UNP_SIZE follow ATTR
constexpr std::uint16_t kUnicodeName = 0x200;
// File header fields, where ADD_SIZE is PACK_SIZE
constexpr std::size_t kAddSizeAt = 7;
constexpr std::size_t kUnpackedSizeAt = 11;
constexpr std::size_t kFileCrcAt = 16;
constexpr std::size_t kNameSizeAt = 26;
constexpr std::size_t kFileFixed = 32;  // up to ATTR
constexpr std::size_t kHighSizes = 8;

// The low 16 bits of the CRC-32 of the header from HEAD_TYPE on.
std::uint16_t HeaderCrc(const Bytes& block, std::size_t size) {
    return static_cast<std::uint16_t>(Crc32(0, block.data + 2, size - 2));
}

// The Unicode name after the OEM name's zero byte, in RAR 4's compact form: one high
// byte for the whole name, then, for each group of four characters, a byte of 2-bit
// codes: 0 a low byte alone, 1 a low byte in the high byte's page, 2 both bytes, 3 a
// run of characters taken from the OEM name (its length less 2 in the low 7 bits of
// a byte; with the top bit, a correction byte follows and each is moved into the high
// byte's page). The maker publishes no description of it; this is how the archiver
// writes it. None when the bytes end inside a character.
class CompactUnicodeName {
public:
    CompactUnicodeName(const std::string& oem, const std::string& packed) : oem_(oem), packed_(packed) {}

    std::optional<std::wstring> Decoded() {
        if (packed_.empty()) return std::nullopt;
        high_ = Byte(0) << 8;
        std::size_t at = 1;
        unsigned codes = 0;
        int bits = 0;
        while (at < packed_.size()) {
            if (bits == 0) {
                codes = Byte(at++);
                bits = 8;
                continue;
            }
            bits -= 2;
            if (!Character((codes >> bits) & 3, at)) return std::nullopt;
        }
        return FromUtf16Le(utf16_);
    }

private:
    unsigned Byte(std::size_t at) const { return static_cast<unsigned char>(packed_[at]); }
    void Unit(unsigned u) {
        utf16_ += static_cast<char>(u & 0xFF);
        utf16_ += static_cast<char>((u >> 8) & 0xFF);
        ++count_;
    }
    // The characters one code gives, from at on; false when the bytes end inside them.
    bool Character(unsigned code, std::size_t& at) {
        if (code < 2) {
            Unit((code == 1 ? high_ : 0) | Byte(at++));
            return true;
        }
        if (code == 2) {
            if (at + 1 >= packed_.size()) return false;
            Unit(Byte(at) | (Byte(at + 1) << 8));
            at += 2;
            return true;
        }
        const unsigned run = Byte(at++);
        const bool moved = (run & 0x80) != 0;
        if (moved && at >= packed_.size()) return false;
        const unsigned correction = moved ? Byte(at++) : 0;
        for (unsigned k = 0; k < (run & 0x7F) + 2 && count_ < oem_.size(); ++k) {
            const unsigned c = static_cast<unsigned char>(oem_[count_]);
            Unit(moved ? (high_ | ((c + correction) & 0xFF)) : c);
        }
        return true;
    }

    const std::string& oem_;
    const std::string& packed_;
    std::string utf16_;
    unsigned high_ = 0;
    std::size_t count_ = 0;  // characters so far
};

// With the Unicode flag FILE_NAME holds the name in the OEM code page, a zero byte and
// the name in the compact form above; with the flag and no zero byte, it is UTF-8. The
// OEM name alone is never taken for a name beyond ASCII: Windows may have made "l" of
// its "\u0142", so one that cannot be read ends in U+FFFD and matches no real name.
std::wstring FileName(const std::string& field, bool unicode) {
    if (!unicode) return AsciiName(field);
    const std::size_t zero = field.find('\0');
    if (zero == std::string::npos) return Utf8Name(field);
    const std::string oem = field.substr(0, zero);
    return CompactUnicodeName(oem, field.substr(zero + 1)).Decoded().value_or(AsciiName(oem) + L'\xFFFD');
}

// A file's block, or a subblock, laid out as one.
BlockReading FileBlock(const Bytes& block, const std::wstring& malformed) {
    const std::uint16_t flags = Le16(block.data + 3);
    const bool large = (flags & kLargeSizes) != 0;
    const std::size_t nameAt = kFileFixed + (large ? kHighSizes : 0);
    const std::size_t nameSize = block.size < nameAt ? 0 : Le16(block.data + kNameSizeAt);
    if (block.size < nameAt || nameAt + nameSize > block.size) {
        return Stop(Verdict::Damaged, malformed);
    }
    const auto withHigh = [&](std::size_t at, std::size_t highAt) {
        return Le32(block.data + at) |
               (large ? static_cast<std::uint64_t>(Le32(block.data + highAt)) << 32 : 0);
    };
    BlockReading contents;
    contents.dataSize = withHigh(kAddSizeAt, kFileFixed);
    if (block.data[2] == kSubblock || (flags & kDictionaryBits) == kDictionaryBits) return contents;

    const auto* name = reinterpret_cast<const char*>(block.data + nameAt);
    ArchiveEntry entry{FileName({name, nameSize}, (flags & kUnicodeName) != 0),
                       withHigh(kUnpackedSizeAt, kFileFixed + 4), Le32(block.data + kFileCrcAt)};
    if ((flags & kEncrypted) != 0) {
        return Stop(Verdict::Unreadable, L"has the encrypted entry " + entry.name);
    }
    if ((flags & (kSplitBefore | kSplitAfter)) != 0) {
        return Stop(Verdict::Unreadable, L"has the entry " + entry.name + L" split across volumes");
    }
    contents.entry = std::move(entry);
    return contents;
}

// A whole header, its checksum checked.
BlockReading HeaderContents(const Bytes& block, const std::wstring& malformed) {
    const std::uint16_t flags = Le16(block.data + 3);
    BlockReading contents;
    switch (block.data[2]) {
        case kMain:
            if ((flags & kVolume) != 0) {
                return Stop(Verdict::Unreadable, L"is one volume of several");
            }
            if ((flags & kHeadersEncrypted) != 0) {
                return Stop(Verdict::Unreadable, L"has encrypted headers");
            }
            break;
        case kFile:
        case kSubblock:
            return FileBlock(block, malformed);
        case kEnd:
            return Stop(Verdict::Whole, {});
        default:
            if ((flags & kHasAddSize) != 0) {
                if (block.size < kLongHeader) return Stop(Verdict::Damaged, malformed);
                contents.dataSize = Le32(block.data + kAddSizeAt);
            }
            break;
    }
    return contents;
}

}  // namespace

Result<BlockReading> ReadRar4Block(BlockSource& source, std::uint64_t offset) {
    const bool first = offset == kRar4MarkerSize;  // where the main header must be
    if (offset == source.Size()) {
        // Older archivers wrote no end block.
        return first ? Stop(Verdict::Damaged, L"ends before its archive header")
                     : Stop(Verdict::Whole, {});
    }
    const std::wstring cut = L"ends inside a header" + AtByte(offset);
    const std::wstring malformed = L"has a malformed header" + AtByte(offset);
    const Result<Bytes> start = source.Read(offset, kShortHeader);
    if (!start) return Failed{start.Error()};
    if (start->size < kShortHeader) return Stop(Verdict::Damaged, cut);
    const std::size_t headerSize = Le16(start->data + 5);
    if (headerSize < kShortHeader) return Stop(Verdict::Damaged, malformed);
    const Result<Bytes> read = source.Read(offset, headerSize);
    if (!read) return Failed{read.Error()};
    const Bytes block = *read;
    if (block.size < headerSize) return Stop(Verdict::Damaged, cut);

    // The note has the main header's CRC cover its fixed fields only; archivers since
    // write nothing past them, so that it covers the whole header like any other's.
    const std::uint8_t type = block.data[2];
    const std::uint16_t crc = Le16(block.data);
    if (HeaderCrc(block, headerSize) != crc &&
        !(type == kMain && headerSize > kMainFields && HeaderCrc(block, kMainFields) == crc)) {
        return Stop(Verdict::Damaged, L"has a header that fails its checksum" + AtByte(offset));
    }
    if (first && type != kMain) return Stop(Verdict::Damaged, L"has no archive header");
    BlockReading contents = HeaderContents(block, malformed);
    contents.headerSize = headerSize;
    return contents;
}

}  // namespace quarn::archive_blocks
