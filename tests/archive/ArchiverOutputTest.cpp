#include "archive/ArchiverOutput.h"

#include <gtest/gtest.h>

#include "archive/ArchiverRun.h"
#include "common/TextEncoding.h"

namespace quarn {
namespace {

// What the real archiver prints with no arguments, up to its usage: the only text of
// its the program reads.
const std::wstring kBanner =
    L"\nRAR 7.01   Copyright (c) 1993-2024 Alexander Roshal   12 May 2024\n"
    L"Trial version             Type 'rar -?' for help\n\nUsage:     rar <command> -<switch 1>\n";

// The forms the archiver's redirected output may take.
struct Form {
    const char* name;
    std::string (*encode)(const std::wstring&);
};
const Form kForms[] = {
    {"UTF-16LE with its byte-order mark", [](const std::wstring& t) { return kUtf16LeByteOrderMark + ToUtf16Le(t); }},
    {"UTF-16LE", [](const std::wstring& t) { return ToUtf16Le(t); }},
    {"UTF-8 with its byte-order mark", [](const std::wstring& t) { return kUtf8ByteOrderMark + ToUtf8(t); }},
    {"UTF-8", [](const std::wstring& t) { return ToUtf8(t); }},
};

TEST(ArchiverOutputTest, TheVersionComesFromTheFirstLineInEveryFormAndLanguage) {
    for (const Form& form : kForms) {
        SCOPED_TRACE(form.name);
        EXPECT_EQ(ArchiverVersion(ArchiverOutputText(form.encode(kBanner))), 701u);
        std::wstring crlf;
        for (const wchar_t c : kBanner) crlf += c == L'\n' ? std::wstring(L"\r\n") : std::wstring(1, c);
        EXPECT_EQ(ArchiverVersion(ArchiverOutputText(form.encode(crlf))), 701u);
    }
    // A translated banner keeps its number; an old one is told as old.
    EXPECT_EQ(ArchiverVersion(L"\r\nRAR 5.00 beta 1   (c) 1993-2013 Alexander Roshal\r\n"), 500u);
    EXPECT_EQ(ArchiverVersion(L"RAR 4.20    Copyright (c) 1993-2012 Alexander Roshal    9 Jun 2012\r\n"), 420u);
    EXPECT_EQ(ArchiverVersion(L"\u0420\u0410\u0420 6.24 \u0410\u0432\u0442\u043E\u0440\u0441\u043A\u043E\u0435 "
                              L"\u043F\u0440\u0430\u0432\u043E 2023\n"),
              624u);
    EXPECT_LT(*ArchiverVersion(L"RAR 4.20\n"), kOldestArchiverVersion);
    EXPECT_EQ(VersionText(500), L"5.00");
    EXPECT_EQ(VersionText(701), L"7.01");
    // Nothing that names a version: no verdict on it.
    EXPECT_EQ(ArchiverVersion(L""), std::nullopt);
    EXPECT_EQ(ArchiverVersion(L"\n\nRAR   Copyright 1993-2024\n7.01\n"), std::nullopt);
    EXPECT_EQ(ArchiverVersion(L"RAR 7.\n"), std::nullopt);
}

TEST(ArchiverOutputTest, OutputThatIsNotValidUtf8KeepsItsAsciiLineByLine) {
    EXPECT_EQ(ArchiverOutputText(""), L"");
    EXPECT_EQ(ArchiverOutputText(kUtf16LeByteOrderMark), L"");
    EXPECT_EQ(ArchiverOutputText("a.bkl\r\nGr\x81\xE1" "e.bkl\r\nb.bkl\r\n"),
              L"a.bkl\r\nGr\uFFFD\uFFFDe.bkl\r\nb.bkl\r\n");
    EXPECT_EQ(ArchiverOutputText("\xEF\xBB\xBF" "a.bkl\n\xFF.bkl\n"), L"a.bkl\n\uFFFD.bkl\n");
}

}  // namespace
}  // namespace quarn
