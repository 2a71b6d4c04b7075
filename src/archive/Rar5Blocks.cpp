// RAR 5.0 block headers, as the archiver's maker describes them ("RAR 5.0 archive
// format"): after the 8-byte signature, blocks of a CRC-32, the header's size and the
// header, then the block's data.

#include <algorithm>
#include <optional>
#include <utility>

#include "archive/ArchiveBlocks.h"
#include "common/Crc32.h"

namespace quarn::archive_blocks {
namespace {

using Verdict = ArchiveReading::Verdict;

constexpr int kHeaderSizeBytes = 3;  // so no header is longer than 2 MB
constexpr std::size_t kCrcSize = 4;

enum BlockType : std::uint64_t { kMain = 1, kFile = 2, kEncryption = 4, kEnd = 5 };
// Header flags
constexpr std::uint64_t kHasExtraArea = 0x1;
constexpr std::uint64_t kHasData = 0x2;
constexpr std::uint64_t kSplitBefore = 0x8;
constexpr std::uint64_t kSplitAfter = 0x10;
// Main archive header and end of archive flags
constexpr std::uint64_t kVolume = 0x1;  // in the end block: a volume, and not the last
// File header flags
constexpr std::uint64_t kDirectory = 0x1;
constexpr std::uint64_t kHasMtime = 0x2;
constexpr std::uint64_t kHasCrc = 0x4;
constexpr std::uint64_t kSizeUnknown = 0x8;
constexpr std::uint64_t kEncryptionRecord = 1;  // extra area record type

// One header's fields in order, never read past its end: a field that would run past
// it reads as 0 and leaves the rest failed.
class Fields {
public:
    Fields() = default;
    Fields(const std::uint8_t* data, std::size_t size) : at_(data), end_(data + size) {}

    bool Ok() const { return ok_; }
    std::size_t Left() const { return static_cast<std::size_t>(end_ - at_); }

    // 7 bits a byte, low first; the high bit says another byte follows. Leading 0x80
    // bytes are allowed: the archiver may reserve room for a value it learns later.
    std::uint64_t Vint(int maxBytes = 10) {
        std::uint64_t value = 0;
        for (int i = 0; i < maxBytes && at_ < end_; ++i) {
            const std::uint8_t byte = *at_++;
            if (i == 9 && (byte & 0x7E) != 0) break;  // past 64 bits
            value |= static_cast<std::uint64_t>(byte & 0x7F) << (7 * i);
            if ((byte & 0x80) == 0) return value;
        }
        return Fail();
    }
    std::uint32_t U32() {
        if (Left() < 4) return static_cast<std::uint32_t>(Fail());
        at_ += 4;
        return Le32(at_ - 4);
    }
    // The next size bytes, as fields of their own.
    Fields Take(std::uint64_t size) {
        if (size > Left()) {
            Fail();
            return {};
        }
        at_ += size;
        return {at_ - size, static_cast<std::size_t>(size)};
    }
    std::string Text(std::uint64_t size) {
        const Fields text = Take(size);
        return {text.at_, text.end_};
    }

private:
    std::uint64_t Fail() {
        ok_ = false;
        at_ = end_;
        return 0;
    }

    const std::uint8_t* at_ = nullptr;
    const std::uint8_t* end_ = nullptr;
    bool ok_ = true;
};

// The fields of a file's header that follow the common ones.
BlockReading FileBlock(std::uint64_t headerFlags, Fields body, Fields extra,
                       const std::wstring& malformed) {
    ArchiveEntry entry;
    const std::uint64_t fileFlags = body.Vint();
    entry.size = body.Vint();
    body.Vint();  // attributes
    if ((fileFlags & kHasMtime) != 0) body.U32();
    if ((fileFlags & kHasCrc) != 0) entry.crc32 = body.U32();
    body.Vint();  // compression
    body.Vint();  // host system
    entry.name = Utf8Name(body.Text(body.Vint()));
    bool encrypted = false;
    while (extra.Left() > 0) {
        Fields record = extra.Take(extra.Vint());
        encrypted |= record.Vint() == kEncryptionRecord;
        if (!record.Ok()) return Stop(Verdict::Damaged, malformed);
    }
    if (!body.Ok() || !extra.Ok()) return Stop(Verdict::Damaged, malformed);

    BlockReading block;
    if ((fileFlags & kDirectory) != 0) return block;
    if (encrypted) return Stop(Verdict::Unreadable, L"has the encrypted entry " + entry.name);
    if ((headerFlags & (kSplitBefore | kSplitAfter)) != 0) {
        return Stop(Verdict::Unreadable, L"has the entry " + entry.name + L" split across volumes");
    }
    if ((fileFlags & kSizeUnknown) != 0) {
        return Stop(Verdict::Unreadable, L"has the entry " + entry.name + L" of unknown size");
    }
    block.entry = std::move(entry);
    return block;
}

// A header from its type on, its checksum checked.
BlockReading HeaderContents(Fields header, const std::wstring& malformed) {
    const std::uint64_t type = header.Vint();
    const std::uint64_t flags = header.Vint();
    const std::uint64_t extraSize = (flags & kHasExtraArea) != 0 ? header.Vint() : 0;
    const std::uint64_t dataSize = (flags & kHasData) != 0 ? header.Vint() : 0;
    Fields body = header.Take(header.Left() - std::min<std::uint64_t>(extraSize, header.Left()));
    const Fields extra = header.Take(extraSize);
    if (!header.Ok()) return Stop(Verdict::Damaged, malformed);

    BlockReading block;
    switch (type) {
        case kMain:
        case kEnd: {  // the end block's flag: a volume, and not the last
            if ((body.Vint() & kVolume) != 0) {
                return Stop(Verdict::Unreadable, L"is one volume of several");
            }
            if (!body.Ok()) return Stop(Verdict::Damaged, malformed);
            if (type == kEnd) return Stop(Verdict::Whole, {});
            break;
        }
        case kFile:
            block = FileBlock(flags, body, extra, malformed);
            break;
        case kEncryption:
            return Stop(Verdict::Unreadable, L"has encrypted headers");
        default:  // service blocks (comment, recovery record, quick open) and any type to come
            break;
    }
    block.dataSize = dataSize;
    return block;
}

}  // namespace

Result<BlockReading> ReadRar5Block(BlockSource& source, std::uint64_t offset) {
    if (offset == source.Size()) {
        return Stop(Verdict::Damaged, L"ends" + AtByte(offset) + L" before its end block");
    }
    const Result<Bytes> start = source.Read(offset, kCrcSize + kHeaderSizeBytes);
    if (!start) return Failed{start.Error()};
    const std::size_t crcRead = std::min(start->size, kCrcSize);
    Fields sizeField(start->data + crcRead, start->size - crcRead);
    const std::uint64_t headerSize = sizeField.Vint(kHeaderSizeBytes);
    const std::wstring cut = L"ends inside a header" + AtByte(offset);
    const std::wstring malformed = L"has a malformed header" + AtByte(offset);
    if (!sizeField.Ok()) {
        return Stop(Verdict::Damaged, start->size < kCrcSize + kHeaderSizeBytes ? cut : malformed);
    }

    const std::size_t sizeBytes = start->size - crcRead - sizeField.Left();
    const std::size_t blockSize = kCrcSize + sizeBytes + static_cast<std::size_t>(headerSize);
    const Result<Bytes> read = source.Read(offset, blockSize);
    if (!read) return Failed{read.Error()};
    const Bytes block = *read;
    if (block.size < blockSize) return Stop(Verdict::Damaged, cut);
    if (Crc32(0, block.data + kCrcSize, blockSize - kCrcSize) != Le32(block.data)) {
        return Stop(Verdict::Damaged, L"has a header that fails its checksum" + AtByte(offset));
    }
    BlockReading contents = HeaderContents(
        Fields(block.data + kCrcSize + sizeBytes, static_cast<std::size_t>(headerSize)), malformed);
    contents.headerSize = blockSize;
    return contents;
}

}  // namespace quarn::archive_blocks
