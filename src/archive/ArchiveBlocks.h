#pragma once

// What the readers of RAR 4 and RAR 5 block headers share; for src/archive alone.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "archive/ArchiveReader.h"
#include "platform/Platform.h"
#include "platform/Result.h"

namespace quarn::archive_blocks {

struct Bytes {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
};

// The archive's bytes, read a window of some kilobytes at a time into one buffer, which
// grows past that only for a header that large: the headers of small entries, which
// lie close together, cost one read for many.
class BlockSource {
public:
    BlockSource(ReadableFile& file, std::uint64_t size);
    std::uint64_t Size() const { return size_; }
    // The count bytes at offset, or fewer where the file ends first; valid until the
    // next Read.
    Result<Bytes> Read(std::uint64_t offset, std::size_t count);

private:
    ReadableFile& file_;
    std::uint64_t size_;
    std::vector<std::uint8_t> buffer_;
    std::uint64_t bufferAt_ = 0;  // the file offset of buffer_'s first byte
};

inline std::uint16_t Le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
inline std::uint32_t Le32(const std::uint8_t* p) {
    return Le16(p) | static_cast<std::uint32_t>(Le16(p + 2)) << 16;
}

constexpr std::uint64_t kRar4MarkerSize = 7;
constexpr std::uint64_t kRar5SignatureSize = 8;

// A block as its header describes it, or why the reading stops there.
struct BlockReading {
    std::optional<ArchiveReading::Verdict> stop;  // for the reason given
    std::wstring reason;
    std::uint64_t headerSize = 0;  // read whole; the data follows it
    std::uint64_t dataSize = 0;
    std::optional<ArchiveEntry> entry;  // for a file's block
};

inline BlockReading Stop(ArchiveReading::Verdict verdict, std::wstring reason) {
    BlockReading block;
    block.stop = verdict;
    block.reason = std::move(reason);
    return block;
}

std::wstring AtByte(std::uint64_t offset);  // " at byte 1234"

// ASCII as it is, U+FFFD for every other byte: the code page of such bytes is not known.
std::wstring AsciiName(const std::string& bytes);
// Where the bytes are no UTF-8, as AsciiName reads them.
std::wstring Utf8Name(const std::string& bytes);

// The block at offset, of an archive whose signature and blocks so far were read.
Result<BlockReading> ReadRar4Block(BlockSource& source, std::uint64_t offset);
Result<BlockReading> ReadRar5Block(BlockSource& source, std::uint64_t offset);

}  // namespace quarn::archive_blocks
