#include "archive/ArchiveReader.h"

#include <algorithm>
#include <utility>

#include "archive/ArchiveBlocks.h"
#include "common/TextEncoding.h"

namespace quarn {
namespace archive_blocks {
namespace {

constexpr std::size_t kWindow = std::size_t{16} * 1024;

}  // namespace

BlockSource::BlockSource(ReadableFile& file, std::uint64_t size) : file_(file), size_(size) {
    buffer_.reserve(kWindow);
}

Result<Bytes> BlockSource::Read(std::uint64_t offset, std::size_t count) {
    // Never more than the file holds, whatever a damaged size field asks for.
    const std::uint64_t left = offset < size_ ? size_ - offset : 0;
    const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(count, left));
    if (offset >= bufferAt_ && offset - bufferAt_ + wanted <= buffer_.size()) {
        return Bytes{buffer_.data() + (offset - bufferAt_), wanted};
    }
    buffer_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(std::max(wanted, kWindow), left)));
    bufferAt_ = offset;
    std::size_t got = 0;
    while (got < buffer_.size()) {
        const Result<std::size_t> read =
            file_.ReadAt(offset + got, buffer_.data() + got, buffer_.size() - got);
        if (!read) {
            buffer_.clear();
            return Failed{read.Error()};
        }
        if (*read == 0) break;  // the file shrank since its size was taken
        got += *read;
    }
    buffer_.resize(got);
    return Bytes{buffer_.data(), std::min(got, wanted)};
}

std::wstring AtByte(std::uint64_t offset) { return L" at byte " + std::to_wstring(offset); }

std::wstring AsciiName(const std::string& bytes) {
    std::wstring name;
    name.reserve(bytes.size());
    for (const char c : bytes) {
        name += static_cast<unsigned char>(c) < 0x80 ? static_cast<wchar_t>(c) : L'\xFFFD';
    }
    return name;
}

std::wstring Utf8Name(const std::string& bytes) {
    // FromUtf8 drops a byte-order mark, which in a name is a character like any other.
    if (bytes.compare(0, 3, kUtf8ByteOrderMark) == 0) return AsciiName(bytes);
    return FromUtf8(bytes).value_or(AsciiName(bytes));
}

}  // namespace archive_blocks

namespace {

using namespace archive_blocks;
using Verdict = ArchiveReading::Verdict;

ArchiveReading WithVerdict(ArchiveReading reading, Verdict verdict, std::wstring reason) {
    reading.verdict = verdict;
    reading.reason = std::move(reason);
    return reading;
}

// Block after block from offset, each as readBlock makes it out, stepping over its data.
Result<ArchiveReading> ReadBlocks(BlockSource& source, ArchiveFormat format, std::uint64_t offset,
                                  Result<BlockReading> (*readBlock)(BlockSource&, std::uint64_t),
                                  const EntryVisitor& onEntry) {
    ArchiveReading reading;
    reading.format = format;
    for (;;) {
        Result<BlockReading> read = readBlock(source, offset);
        if (!read) return Failed{read.Error()};
        BlockReading& block = *read;
        if (block.stop) {
            return WithVerdict(std::move(reading), *block.stop, std::move(block.reason));
        }
        // Within the file, since the header was read whole.
        const std::uint64_t dataAt = offset + block.headerSize;
        if (block.dataSize > source.Size() - dataAt) {
            return WithVerdict(std::move(reading), Verdict::Damaged,
                               block.entry
                                   ? L"ends inside the data of its entry " + block.entry->name
                                   : L"ends inside the data of the block" + AtByte(offset));
        }
        if (block.entry) {
            if (onEntry) {
                onEntry(std::move(*block.entry));
            } else {
                reading.entries.push_back(std::move(*block.entry));
            }
        }
        offset = dataAt + block.dataSize;
    }
}

}  // namespace

Result<ArchiveReading> ReadArchive(ReadableFile& file) { return ReadArchive(file, {}); }

Result<ArchiveReading> ReadArchive(ReadableFile& file, const EntryVisitor& onEntry) {
    // The RAR 4 marker is its first six bytes and a 00.
    static constexpr std::uint8_t kRar5Signature[kRar5SignatureSize] = {0x52, 0x61, 0x72, 0x21,
                                                                        0x1A, 0x07, 0x01, 0x00};

    const Result<std::uint64_t> size = file.Size();
    if (!size) return Failed{size.Error()};
    BlockSource source(file, *size);
    const Result<Bytes> read = source.Read(0, kRar5SignatureSize);
    if (!read) return Failed{read.Error()};
    const Bytes signature = *read;

    if (signature.size == 0) return WithVerdict({}, Verdict::Unreadable, L"is empty");
    const std::size_t common = std::min<std::size_t>(signature.size, kRar4MarkerSize - 1);
    if (!std::equal(signature.data, signature.data + common, kRar5Signature)) {
        return WithVerdict({}, Verdict::Unreadable, L"is not a RAR archive");
    }
    if (signature.size >= kRar4MarkerSize && signature.data[kRar4MarkerSize - 1] == 0) {
        return ReadBlocks(source, ArchiveFormat::Rar4, kRar4MarkerSize, ReadRar4Block, onEntry);
    }
    if (!std::equal(signature.data, signature.data + signature.size, kRar5Signature)) {
        return WithVerdict({}, Verdict::Unreadable,
                           L"is in a RAR format version this program cannot read");
    }
    if (signature.size < kRar5SignatureSize) {
        return WithVerdict({}, Verdict::Damaged, L"ends inside its signature");
    }
    return ReadBlocks(source, ArchiveFormat::Rar5, kRar5SignatureSize, ReadRar5Block, onEntry);
}

}  // namespace quarn
