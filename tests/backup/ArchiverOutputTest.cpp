#include "backup/ArchiverOutput.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>

#include "common/TextEncoding.h"

namespace quarn {

void PrintTo(const ArchiveEntry& entry, std::ostream* out) {
    *out << ToUtf8(entry.name) << " size " << entry.size << " crc ";
    if (entry.crc32) *out << std::hex << *entry.crc32 << std::dec;
    else *out << "none";
}

namespace {

using Lines = std::vector<std::wstring>;

// "rar lt" of RAR 7.01 (Linux) on a RAR 5 archive it made of four logs and a folder
// "sub" holding a fifth; the CRCs are those of the contents ("a b", "x", "semi", ...).
const Lines kRar5Listing = {
    L"",
    L"RAR 7.01   Copyright (c) 1993-2024 Alexander Roshal   12 May 2024",
    L"Trial version             Type 'rar -?' for help",
    L"",
    L"Archive: sample5.rar",
    L"Details: RAR 5",
    L"",
    L"        Name: acctonein.bkl",
    L"        Type: File",
    L"        Size: 700",
    L" Packed size: 30",
    L"       Ratio: 4%",
    L"       mtime: 2026-12-08 04:10:29,674824758",
    L"  Attributes: -rw-r--r--",
    L"       CRC32: 2C7AE604",
    L"     Host OS: Unix",
    L" Compression: RAR 5.0(v50) -m5 -md=128k",
    L"",
    L"        Name: name with spaces.bkl",
    L"        Type: File",
    L"        Size: 3",
    L" Packed size: 3",
    L"       Ratio: 100%",
    L"       mtime: 2026-12-08 04:10:29,674824758",
    L"  Attributes: -rw-r--r--",
    L"       CRC32: 806C5CD3",
    L"     Host OS: Unix",
    L" Compression: RAR 5.0(v50) -m0 -md=128k",
    L"",
    L"        Name: Gr\u00FC\u00DFe.bkl",
    L"        Type: File",
    L"        Size: 1",
    L" Packed size: 1",
    L"       Ratio: 100%",
    L"       mtime: 2026-12-08 04:10:29,674824758",
    L"  Attributes: -rw-r--r--",
    L"       CRC32: 8CDC1683",
    L"     Host OS: Unix",
    L" Compression: RAR 5.0(v50) -m0 -md=128k",
    L"",
    L"        Name: a;b.bks",
    L"        Type: File",
    L"        Size: 4",
    L" Packed size: 4",
    L"       Ratio: 100%",
    L"       mtime: 2026-12-08 04:10:29,674824758",
    L"  Attributes: -rw-r--r--",
    L"       CRC32: F2EF15B3",
    L"     Host OS: Unix",
    L" Compression: RAR 5.0(v50) -m0 -md=128k",
    L"",
    L"        Name: sub/in.bkl",
    L"        Type: File",
    L"        Size: 6",
    L" Packed size: 6",
    L"       Ratio: 100%",
    L"       mtime: 2026-12-08 04:10:29,674824758",
    L"  Attributes: -rw-r--r--",
    L"       CRC32: BF4AC2ED",
    L"     Host OS: Unix",
    L" Compression: RAR 5.0(v50) -m0 -md=128k",
    L"",
    L"        Name: sub",
    L"        Type: Directory",
    L"       mtime: 2026-12-08 04:10:29,674824758",
    L"  Attributes: drwxr-xr-x",
    L"     Host OS: Unix",
    L" Compression: RAR 5.0(v50) -m0",
    L"",
};
const std::vector<ArchiveEntry> kRar5Entries = {
    {L"acctonein.bkl", 700, 0x2C7AE604}, {L"name with spaces.bkl", 3, 0x806C5CD3},
    {L"Gr\u00FC\u00DFe.bkl", 1, 0x8CDC1683}, {L"a;b.bks", 4, 0xF2EF15B3}, {L"sub/in.bkl", 6, 0xBF4AC2ED}};

// "rar lt" of RAR 7.01 on a RAR 4 archive that the test archiver made of the same logs,
// trimmed to three of them.
const Lines kRar4Listing = {
    L"",
    L"RAR 7.01   Copyright (c) 1993-2024 Alexander Roshal   12 May 2024",
    L"Trial version             Type 'rar -?' for help",
    L"",
    L"Archive: sample4.rar",
    L"Details: RAR 4",
    L"",
    L"        Name: acctonein.bkl",
    L"        Type: File",
    L"        Size: 700",
    L" Packed size: 700",
    L"       Ratio: 100%",
    L"       mtime: 2026-12-08 04:15:04,000000000",
    L"  Attributes: ..A....",
    L"       CRC32: 2C7AE604",
    L"     Host OS: Windows",
    L" Compression: RAR 1.5(v20) -m0 -md=64k",
    L"",
    L"        Name: Gr\u00FC\u00DFe.bkl",
    L"        Type: File",
    L"        Size: 1",
    L" Packed size: 1",
    L"       Ratio: 100%",
    L"       mtime: 2026-12-08 04:15:04,000000000",
    L"  Attributes: ..A....",
    L"       CRC32: 8CDC1683",
    L"     Host OS: Windows",
    L" Compression: RAR 1.5(v20) -m0 -md=64k",
    L"",
    L"        Name: a;b.bks",
    L"        Type: File",
    L"        Size: 4",
    L" Packed size: 4",
    L"       Ratio: 100%",
    L"       mtime: 2026-12-08 04:15:04,000000000",
    L"  Attributes: ..A....",
    L"       CRC32: F2EF15B3",
    L"     Host OS: Windows",
    L" Compression: RAR 1.5(v20) -m0 -md=64k",
    L"",
};

std::wstring Joined(const Lines& lines, const std::wstring& lineEnd) {
    std::wstring text;
    for (const std::wstring& line : lines) text += line + lineEnd;
    return text;
}

std::string Utf16Le(const std::wstring& text) {
    std::string bytes;
    for (const wchar_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>((c >> 8) & 0xFF);
    }
    return bytes;
}

// The forms the archiver's redirected output may take.
struct Form {
    const char* name;
    std::string (*encode)(const std::wstring&);
};
const Form kForms[] = {
    {"UTF-16LE with its byte-order mark", [](const std::wstring& t) { return kUtf16LeByteOrderMark + Utf16Le(t); }},
    {"UTF-16LE", [](const std::wstring& t) { return Utf16Le(t); }},
    {"UTF-8 with its byte-order mark", [](const std::wstring& t) { return kUtf8ByteOrderMark + ToUtf8(t); }},
    {"UTF-8", [](const std::wstring& t) { return ToUtf8(t); }},
};

TEST(ArchiverOutputTest, TheRealTechnicalListingGivesEveryFileInArchiveOrder) {
    EXPECT_EQ(TechnicalListingEntries(Joined(kRar5Listing, L"\n")), kRar5Entries);
    EXPECT_EQ(TechnicalListingEntries(Joined(kRar4Listing, L"\n")),
              (std::vector<ArchiveEntry>{kRar5Entries[0], kRar5Entries[2], kRar5Entries[3]}));
}

TEST(ArchiverOutputTest, EveryFormOfTheOutputReadsAlike) {
    for (const Form& form : kForms) {
        for (const wchar_t* lineEnd : {L"\r\n", L"\n"}) {
            SCOPED_TRACE(std::string(form.name) + (lineEnd[0] == L'\r' ? " CRLF" : " LF"));
            EXPECT_EQ(TechnicalListingEntries(ArchiverOutputText(form.encode(Joined(kRar5Listing, lineEnd)))),
                      kRar5Entries);
        }
    }
}

TEST(ArchiverOutputTest, EmptyOrUnreadableOutputGivesNoEntries) {
    EXPECT_EQ(ArchiverOutputText(""), L"");
    EXPECT_EQ(ArchiverOutputText(kUtf16LeByteOrderMark), L"");
    EXPECT_EQ(TechnicalListingEntries(L""), std::vector<ArchiveEntry>{});
    // The real archiver on a file that is not an archive (exit 0), and on a missing one
    // (exit 10, its message on standard error).
    for (const Lines& output :
         {Lines{L"", L"RAR 7.01   Copyright (c) 1993-2024 Alexander Roshal   12 May 2024",
                L"Trial version             Type 'rar -?' for help", L"", L"zero.rar is not RAR archive"},
          Lines{L"", L"RAR 7.01   Copyright (c) 1993-2024 Alexander Roshal   12 May 2024",
                L"Trial version             Type 'rar -?' for help", L""}}) {
        EXPECT_EQ(TechnicalListingEntries(Joined(output, L"\n")), std::vector<ArchiveEntry>{});
    }
    // A name that is not UTF-8 (an OEM code page's) can match no real name; its
    // neighbours stay readable.
    EXPECT_EQ(ArchiverOutputText("a.bkl\r\nGr\x81\xE1" "e.bkl\r\nb.bkl\r\n"),
              L"a.bkl\r\nGr\uFFFD\uFFFDe.bkl\r\nb.bkl\r\n");
    EXPECT_EQ(ArchiverOutputText("\xEF\xBB\xBF" "a.bkl\n\xFF.bkl\n"), L"a.bkl\n\uFFFD.bkl\n");
}

TEST(ArchiverOutputTest, AHeaderTheArchiverCouldNotReadWholeGivesNoEntry) {
    // "rar lt" (exit 3) on that RAR 4 archive cut inside its second entry's header.
    Lines listing(kRar4Listing.begin(),
                  std::find(kRar4Listing.begin(), kRar4Listing.end(), L"        Name: Gr\u00FC\u00DFe.bkl"));
    listing.insert(listing.end(), {
        L"        Name: ",
        L"        Type: File",
        L"        Size: 0",
        L" Packed size: 0",
        L"       Ratio: 0%",
        L"       mtime: 1979-11-30 00:00:00,000000000",
        L"  Attributes: ----------",
        L"       CRC32: 00000000",
        L"     Host OS: Unix",
        L" Compression: RAR 1.5(v0) -m208 -md=64k",
        L"",
    });
    EXPECT_EQ(TechnicalListingEntries(Joined(listing, L"\r\n")), std::vector<ArchiveEntry>{kRar5Entries[0]});
}

TEST(ArchiverOutputTest, AListingCutShortGivesOnlyTheEntriesItShowedWhole) {
    const std::wstring text = Joined(kRar5Listing, L"\r\n");
    // Where each file entry's block ends: after the empty line that follows it.
    std::vector<std::size_t> blockEnds;
    for (std::size_t at = text.find(L"Name: "); at != std::wstring::npos; at = text.find(L"Name: ", at + 1)) {
        blockEnds.push_back(text.find(L"\r\n\r\n", at) + 4);
    }
    ASSERT_EQ(blockEnds.size(), kRar5Entries.size() + 1);  // and the folder's
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        std::size_t whole = 0;
        while (whole < kRar5Entries.size() && blockEnds[whole] <= cut) ++whole;
        const std::vector<ArchiveEntry> expected(kRar5Entries.begin(), kRar5Entries.begin() + whole);
        ASSERT_EQ(TechnicalListingEntries(text.substr(0, cut)), expected) << "cut at " << cut;
    }
}

TEST(ArchiverOutputTest, NamesAreTakenExactlyAndUnreadableBlocksAreLeftOut) {
    const Lines listing = {
        L"        Name:  leading space.bkl ",
        L"        Type: File",
        L"        Size: 18446744073709551615",
        L"       CRC32: 0a0B0c0D",
        L"",
        // A hash other than CRC32 (rar a -htb), as the real archiver lists it.
        L"        Name: x.bkl",
        L"        Type: File",
        L"        Size: 2",
        L" Packed size: 2",
        L"      BLAKE2: 0b4f25afc978e384f549cdb5748df30d2c5050ab3fdfa539e143490a21a467d0",
        L"",
        L"        Name: overflow.bkl",
        L"        Type: File",
        L"        Size: 18446744073709551616",
        L"",
        L"        Name: grouped.bkl",
        L"        Type: File",
        L"        Size: 1,024",
        L"",
        L"        Name: shortcrc.bkl",
        L"        Type: File",
        L"        Size: 1",
        L"       CRC32: 0A0B0C0",
        L"",
        L"        Name: badcrc.bkl",
        L"        Type: File",
        L"        Size: 1",
        L"       CRC32: 0A0B0C0G",
        L"",
        L"        Name: nosize.bkl",
        L"        Type: File",
        L"",
        L"        Name: first.bkl",
        L"        Type: File",
        L"        Size: 1",
        L"        Name: second.bkl",
        L"        Size: 2",
        L"",
        L"        Name: link.bkl",
        L"        Type: Symbolic link",
        L"        Size: 1",
        L"",
        L"        Name: last.bkl",
        L"        Type: File",
        L"        Size: 0",
        L"       CRC32: 00000000",
        L"",
    };
    EXPECT_EQ(TechnicalListingEntries(Joined(listing, L"\n")),
              (std::vector<ArchiveEntry>{{L" leading space.bkl ", UINT64_MAX, 0x0A0B0C0D},
                                         {L"x.bkl", 2, std::nullopt},
                                         {L"last.bkl", 0, 0}}));
}

}  // namespace
}  // namespace quarn
