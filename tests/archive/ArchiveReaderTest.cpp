#include "archive/ArchiveReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ostream>
#include <random>
#include <utility>

#include "archive/RealArchives.h"
#include "common/Crc32.h"
#include "common/TextEncoding.h"

namespace quarn {

void PrintTo(const ArchiveEntry& entry, std::ostream* out) {
    *out << ToUtf8(entry.name) << " size " << entry.size << " crc ";
    if (entry.crc32) *out << std::hex << *entry.crc32 << std::dec;
    else *out << "none";
}

namespace {

using Verdict = ArchiveReading::Verdict;
using Entries = std::vector<ArchiveEntry>;

// An archive in memory, which counts what is asked of it.
class StringFile : public ReadableFile {
public:
    explicit StringFile(std::string bytes) : bytes_(std::move(bytes)) {}

    Result<std::uint64_t> Size() override { return std::uint64_t{bytes_.size()}; }
    Result<std::size_t> ReadAt(std::uint64_t offset, std::uint8_t* buffer,
                               std::size_t count) override {
        largestRead = std::max(largestRead, count);
        ++reads;
        const std::size_t n =
            offset < bytes_.size() ? std::min<std::size_t>(count, bytes_.size() - offset) : 0;
        std::memcpy(buffer, bytes_.data() + offset, n);
        return n;
    }

    std::size_t largestRead = 0;
    std::size_t reads = 0;

private:
    std::string bytes_;
};

ArchiveReading Read(std::string bytes) {
    StringFile file(std::move(bytes));
    Result<ArchiveReading> reading = ReadArchive(file);
    EXPECT_TRUE(reading.Ok());
    return reading.Ok() ? std::move(reading).Value() : ArchiveReading{};
}

ArchiveEntry Entry(std::wstring name, const std::string& data) {
    return {std::move(name), data.size(), Crc32(0, data.data(), data.size())};
}

bool IsPrefix(const Entries& part, const Entries& whole) {
    return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

// The files as make_real_archives.sh writes them.
const std::string kA =
    "From: a@example.com\r\nSubject: hello\r\n\r\nhello hello hello hello hello hello\r\n";
const std::string kZurich = u8"Z\u00FCrich mail\r\n";
const std::string kGrosse = u8"Gr\u00F6\u00DFe\r\n";

const Entries kRar5Entries = {Entry(L"a.bkl", kA), Entry(L"empty.bkl", ""),
                              Entry(L"Z\u00FCrich-\u65E5\u672C.bkl", kZurich),
                              Entry(L"sub/b.bks", "in a folder\r\n")};
// The OEM name's bytes, UTF-8 where the archiver ran, are not ASCII.
const Entries kRar4Entries = {Entry(L"old.bkl", "old log\r\n"),
                              Entry(L"Gr\u00F6\u00DFe.bkl", kGrosse),
                              Entry(L"a.bkl", kA)};

std::string Le16(std::uint16_t value) {
    return {static_cast<char>(value), static_cast<char>(value >> 8)};
}
std::string Le32(std::uint32_t value) {
    return Le16(static_cast<std::uint16_t>(value)) + Le16(value >> 16);
}

// Blocks no real archiver would write, laid out as the formats' descriptions say.
std::string Vint(std::uint64_t value) {
    std::string bytes;
    for (; value >= 0x80; value >>= 7) bytes += static_cast<char>(0x80 | (value & 0x7F));
    return bytes + static_cast<char>(value);
}

const std::string kRar5Signature("Rar!\x1A\x07\x01\x00", 8);

// The header only: a data area of dataSize bytes would follow it.
std::string Rar5Block(std::uint64_t type, std::uint64_t flags, const std::string& fields,
                      const std::string& extra = {}, std::uint64_t dataSize = 0) {
    std::string header =
        Vint(type) + Vint(flags | (extra.empty() ? 0 : 1) | (dataSize == 0 ? 0 : 2));
    if (!extra.empty()) header += Vint(extra.size());
    if (dataSize != 0) header += Vint(dataSize);
    header += fields + extra;
    header = Vint(header.size()) + header;
    return Le32(Crc32(0, header.data(), header.size())) + header;
}

constexpr std::uint64_t kRar5Crc = 0x4;

std::string Rar5FileFields(const std::string& name, const std::string& data,
                           std::uint64_t fileFlags = kRar5Crc) {
    std::string fields = Vint(fileFlags) + Vint(data.size()) + Vint(0x20);
    if ((fileFlags & kRar5Crc) != 0) fields += Le32(Crc32(0, data.data(), data.size()));
    return fields + Vint(0) + Vint(0) + Vint(name.size()) + name;
}

std::string Rar5File(const std::string& name, const std::string& data,
                     std::uint64_t headerFlags = 0, std::uint64_t fileFlags = kRar5Crc) {
    return Rar5Block(2, headerFlags, Rar5FileFields(name, data, fileFlags), {}, data.size()) + data;
}

std::string Rar5Archive(const std::string& blocks) {
    return kRar5Signature + Rar5Block(1, 0, Vint(0)) + blocks + Rar5Block(5, 0, Vint(0));
}

const std::string kRar4Marker("Rar!\x1A\x07\x00", 7);

std::string Rar4Block(std::uint8_t type, std::uint16_t flags, const std::string& rest) {
    const std::string header = static_cast<char>(type) + Le16(flags) +
                               Le16(static_cast<std::uint16_t>(7 + rest.size())) + rest;
    return Le16(static_cast<std::uint16_t>(Crc32(0, header.data(), header.size()))) + header;
}

// highSizes: HIGH_PACK_SIZE and HIGH_UNP_SIZE, where flags has 0x100.
std::string Rar4File(const std::string& name, const std::string& data, std::uint16_t flags = 0,
                     const std::string& highSizes = {}) {
    const auto size = static_cast<std::uint32_t>(data.size());
    const std::string rest = Le32(size) + Le32(size) + '\x02' +
                             Le32(Crc32(0, data.data(), data.size())) + Le32(0) + '\x14' + '\x30' +
                             Le16(static_cast<std::uint16_t>(name.size())) + Le32(0x20) +
                             highSizes + name;
    return Rar4Block(0x74, static_cast<std::uint16_t>(0x8000 | flags), rest) + data;
}

std::string Rar4Archive(const std::string& blocks, std::uint16_t mainFlags = 0) {
    return kRar4Marker + Rar4Block(0x73, mainFlags, std::string(6, '\0')) + blocks +
           Rar4Block(0x7B, 0x4000, {});
}

TEST(ArchiveReaderTest, RealRar5ArchiveGivesEveryFileInOrderAndNoFolder) {
    const ArchiveReading reading = Read(std::string(real_archives::kRar5));
    EXPECT_EQ(reading.verdict, Verdict::Whole) << ToUtf8(reading.reason);
    EXPECT_EQ(reading.format, ArchiveFormat::Rar5);
    EXPECT_EQ(reading.entries, kRar5Entries);
    EXPECT_EQ(reading.reason, L"");
}

TEST(ArchiveReaderTest, RealRar4ArchiveUpdatedByTheRealArchiverStaysReadable) {
    const ArchiveReading reading = Read(std::string(real_archives::kRar4));
    EXPECT_EQ(reading.verdict, Verdict::Whole) << ToUtf8(reading.reason);
    EXPECT_EQ(reading.format, ArchiveFormat::Rar4);
    EXPECT_EQ(reading.entries, kRar4Entries);
}

TEST(ArchiveReaderTest, WhatCannotBeVouchedForIsUnreadable) {
    const std::pair<std::string_view, const wchar_t*> cases[] = {
        {real_archives::kRar5HeadersEncrypted, L"has encrypted headers"},
        {real_archives::kRar5EntryEncrypted, L"has the encrypted entry a.bkl"},
        {real_archives::kRar5FirstVolume, L"is one volume of several"},
        {real_archives::kRar4EntryEncrypted, L"has the encrypted entry empty.bkl"},
    };
    for (const auto& [archive, reason] : cases) {
        const ArchiveReading reading = Read(std::string(archive));
        EXPECT_EQ(reading.verdict, Verdict::Unreadable) << ToUtf8(reason);
        EXPECT_EQ(reading.reason, reason);
    }
    EXPECT_EQ(Read(Rar5Archive(Rar5File("x.bkl", "data", 0x10))).reason,
              L"has the entry x.bkl split across volumes");
    EXPECT_EQ(Read(Rar5Archive(Rar5File("x.bkl", "data", 0, 0x8))).reason,
              L"has the entry x.bkl of unknown size");
    EXPECT_EQ(Read(Rar4Archive(Rar4File("x.bkl", "data", 0x02))).reason,
              L"has the entry x.bkl split across volumes");
    EXPECT_EQ(Read(Rar4Archive("", 0x0001)).reason, L"is one volume of several");
    EXPECT_EQ(Read(Rar4Archive("", 0x0080)).reason, L"has encrypted headers");
}

TEST(ArchiveReaderTest, NoRarSignatureIsUnreadable) {
    std::mt19937 random(7);
    std::string noise(1000, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    ASSERT_NE(noise[0], 'R');
    const std::pair<std::string, const wchar_t*> cases[] = {
        {"", L"is empty"},
        {noise, L"is not a RAR archive"},
        {"PK\x03\x04 a zip archive", L"is not a RAR archive"},
        {std::string("Rar!\x1A\x07\x02\x00", 8) + "a later format",
         L"is in a RAR format version this program cannot read"},
    };
    for (const auto& [bytes, reason] : cases) {
        const ArchiveReading reading = Read(bytes);
        EXPECT_EQ(reading.verdict, Verdict::Unreadable) << ToUtf8(reason);
        EXPECT_EQ(reading.reason, reason);
    }
}

// Every length short of the whole, as an archive cut short by a full disk or an ended copy.
TEST(ArchiveReaderTest, CutShortIsDamagedAndKeepsTheEntriesBeforeTheCut) {
    const std::string rar5(real_archives::kRar5);
    for (std::size_t length = 1; length < rar5.size(); ++length) {
        const ArchiveReading reading = Read(rar5.substr(0, length));
        EXPECT_EQ(reading.verdict, Verdict::Damaged) << length;
        EXPECT_TRUE(IsPrefix(reading.entries, kRar5Entries)) << length;
        EXPECT_NE(reading.reason, L"") << length;
    }
    EXPECT_EQ(Read(rar5.substr(0, rar5.size() - 1)).entries, kRar5Entries);
    EXPECT_EQ(Read(rar5.substr(0, 3)).reason, L"ends inside its signature");
    EXPECT_EQ(Read(rar5.substr(0, 20)).reason, L"ends inside a header at byte 8");

    // A RAR 4 archive may end without an end block, as older archivers wrote them: cut at a
    // block's end, it reads whole.
    const std::string rar4(real_archives::kRar4);
    int whole = 0;
    for (std::size_t length = 1; length < rar4.size(); ++length) {
        const ArchiveReading reading = Read(rar4.substr(0, length));
        whole += reading.verdict == Verdict::Whole ? 1 : 0;
        EXPECT_NE(reading.verdict, Verdict::Unreadable) << length;
        EXPECT_TRUE(IsPrefix(reading.entries, kRar4Entries)) << length;
    }
    EXPECT_EQ(whole, 5);  // the ends of the main header, the comment and the three files
    const ArchiveReading noEndBlock = Read(rar4.substr(0, rar4.size() - 7));
    EXPECT_EQ(noEndBlock.verdict, Verdict::Whole);
    EXPECT_EQ(noEndBlock.entries, kRar4Entries);
    EXPECT_EQ(Read(rar4.substr(0, 7)).reason, L"ends before its archive header");
    EXPECT_EQ(Read(rar4.substr(0, rar4.size() - 8)).reason,
              L"ends inside the data of its entry a.bkl");
}

TEST(ArchiveReaderTest, AnyChangedHeaderByteIsDamageButTheDataIsNotChecked) {
    const std::pair<std::string, const Entries*> archives[] = {
        {std::string(real_archives::kRar5), &kRar5Entries},
        {std::string(real_archives::kRar4), &kRar4Entries}};
    for (const auto& [archive, entries] : archives) {
        const std::size_t signature = archive[6] == 0 ? 7 : 8;
        for (std::size_t at = signature; at < archive.size(); ++at) {
            std::string changed = archive;
            changed[at] = static_cast<char>(~changed[at]);
            const ArchiveReading reading = Read(changed);
            if (reading.verdict == Verdict::Whole) {
                EXPECT_EQ(reading.entries, *entries) << at;
            } else {
                EXPECT_EQ(reading.verdict, Verdict::Damaged) << at;
            }
        }
    }
    // Zürich's data is stored as it is; a name is in its header only.
    std::string rar5(real_archives::kRar5);
    rar5[rar5.find("rich mail")] ^= 1;
    EXPECT_EQ(Read(rar5).verdict, Verdict::Whole);
    rar5[rar5.find("empty.bkl")] ^= 1;
    const ArchiveReading reading = Read(rar5);
    EXPECT_EQ(reading.verdict, Verdict::Damaged);
    EXPECT_EQ(reading.reason.rfind(L"has a header that fails its checksum at byte ", 0), 0U)
        << ToUtf8(reading.reason);
    EXPECT_EQ(reading.entries, Entries(kRar5Entries.begin(), kRar5Entries.begin() + 1));
}

TEST(ArchiveReaderTest, HeadersThatDoNotHoldTogetherAreDamage) {
    const std::pair<std::string, const wchar_t*> cases[] = {
        // A header size over three bytes: past the 2 MB that RAR 5 allows a header.
        {kRar5Signature + std::string("\0\0\0\0\x80\x80\x80\x01", 8) + std::string(100, 'x'),
         L"has a malformed header at byte 8"},
        {Rar5Archive(Rar5Block(2, 0, Rar5FileFields("name past the header", "").substr(0, 10))),
         L"has a malformed header at byte 16"},
        {Rar5Archive(Rar5Block(2, 0, Rar5FileFields("x.bkl", "x"), {}, ~std::uint64_t{0})),
         L"ends inside the data of its entry x.bkl"},
        {kRar5Signature + Rar5Block(1, 0, Vint(0)), L"ends at byte 16 before its end block"},
        {kRar4Marker + Rar4File("x.bkl", "data"), L"has no archive header"},
        {Rar4Archive(Rar4Block(0x74, 0x8000, std::string(20, '\0'))),
         L"has a malformed header at byte 20"},
    };
    for (const auto& [bytes, reason] : cases) {
        const ArchiveReading reading = Read(bytes);
        EXPECT_EQ(reading.verdict, Verdict::Damaged) << ToUtf8(reason);
        EXPECT_EQ(reading.reason, reason);
    }
}

TEST(ArchiveReaderTest, NamesTheFormatCannotGiveMatchNothing) {
    const std::string rar5 = Rar5File("bad\xFF.bkl", "") + Rar5File(u8"\uFEFFbom.bkl", "");
    EXPECT_EQ(Read(Rar5Archive(rar5)).entries,
              (Entries{Entry(L"bad\uFFFD.bkl", ""), Entry(L"\uFFFD\uFFFD\uFFFDbom.bkl", "")}));
    // Without the Unicode flag the OEM code page's bytes; with it and no zero byte, UTF-8.
    const std::string utf8 = u8"Gr\u00FC\u00DFe.bkl";
    EXPECT_EQ(Read(Rar4Archive(Rar4File(utf8, "") + Rar4File(utf8, "", 0x200))).entries,
              (Entries{Entry(L"Gr\uFFFD\uFFFD\uFFFD\uFFFDe.bkl", ""),
                       Entry(L"Gr\u00FC\u00DFe.bkl", "")}));
}

TEST(ArchiveReaderTest, Rar4FoldersServiceBlocksAndLargeSizes) {
    const std::string oldStyleBlock = Rar4Block(0x79, 0x8000, Le32(3)) + "old";  // with data
    const std::string blocks = Rar4File("folder", "", 0xE0) + oldStyleBlock +
                               Rar4File("large.bkl", "x", 0x100, Le32(0) + Le32(1));
    const ArchiveReading reading = Read(Rar4Archive(blocks));
    EXPECT_EQ(reading.verdict, Verdict::Whole) << ToUtf8(reading.reason);
    EXPECT_EQ(reading.entries, (Entries{{L"large.bkl", 0x100000001ULL, Crc32(0, "x", 1)}}));

    // The main header's CRC as the note gives it: HEAD_TYPE to RESERVED2, not what follows.
    const std::string fixed = std::string("\x73\0\0\x0F\0", 5) + std::string(6, '\0');  // size 15
    const std::string main =
        Le16(static_cast<std::uint16_t>(Crc32(0, fixed.data(), fixed.size()))) + fixed;
    EXPECT_EQ(Read(kRar4Marker + main + std::string(2, '\0') + Rar4Block(0x7B, 0x4000, {})).verdict,
              Verdict::Whole);
}

// The data is stepped over, however large, and the headers of small entries, which lie
// close together, come many to a read.
TEST(ArchiveReaderTest, ReadsHeadersOnlyInSmallPieces) {
    StringFile large(Rar5Archive(Rar5File("large.bkl", std::string(1 << 20, 'x'))));
    const Result<ArchiveReading> reading = ReadArchive(large);
    ASSERT_TRUE(reading.Ok());
    EXPECT_EQ(reading->verdict, Verdict::Whole);
    EXPECT_LE(large.largestRead, 16U * 1024);
    EXPECT_LE(large.reads, 3U);
    std::string many;
    for (int i = 0; i < 1000; ++i) many += Rar5File("log" + std::to_string(i) + ".bkl", "mail");
    StringFile small(Rar5Archive(many));
    ASSERT_EQ(ReadArchive(small)->entries.size(), 1000U);
    EXPECT_LE(small.reads, 5U);

    // A header size of almost 2 MB in a small file asks for no more than the file holds.
    StringFile claim(kRar5Signature + std::string("\0\0\0\0\xFF\xFF\x7F", 7) +
                     std::string(100, 'x'));
    EXPECT_EQ(ReadArchive(claim)->reason, L"ends inside a header at byte 8");
    EXPECT_LE(claim.largestRead, 115U);
}

// Damage of any kind, never a crash, a hang or a failure.
TEST(ArchiveReaderTest, AnyBytesGiveAReading) {
    std::mt19937 random(1);
    for (const std::string_view real : {real_archives::kRar5, real_archives::kRar4}) {
        for (int round = 0; round < 3000; ++round) {
            std::string bytes(real.substr(0, random() % (real.size() + 1)));
            for (int changes = 1 + static_cast<int>(random() % 4); changes > 0 && !bytes.empty();
                 --changes) {
                bytes[random() % bytes.size()] = static_cast<char>(random());
            }
            StringFile file(bytes);
            ASSERT_TRUE(ReadArchive(file).Ok());
        }
    }
}

// A file that fails its nth read.
class FailingFile : public StringFile {
public:
    FailingFile(std::string bytes, int readsBeforeFailing)
        : StringFile(std::move(bytes)), readsLeft_(readsBeforeFailing) {}
    Result<std::size_t> ReadAt(std::uint64_t offset, std::uint8_t* buffer,
                               std::size_t count) override {
        if (readsLeft_-- == 0) return Failed{23};  // ERROR_CRC: a bad sector
        return StringFile::ReadAt(offset, buffer, count);
    }

private:
    int readsLeft_;
};

TEST(ArchiveReaderTest, AFailedReadFailsTheReadingWithItsCode) {
    for (const std::string_view archive : {real_archives::kRar5, real_archives::kRar4}) {
        for (int reads = 0;; ++reads) {
            FailingFile file(std::string(archive), reads);
            const Result<ArchiveReading> reading = ReadArchive(file);
            if (reading.Ok()) break;
            EXPECT_EQ(reading.Error(), 23U);
            ASSERT_LT(reads, 100);
        }
    }
    class NoSize : public StringFile {
    public:
        NoSize() : StringFile("") {}
        Result<std::uint64_t> Size() override { return Failed{5}; }
    } noSize;
    EXPECT_EQ(ReadArchive(noSize).Error(), 5U);
}

}  // namespace
}  // namespace quarn
