#include "common/TextEncoding.h"

#include <gtest/gtest.h>

namespace quarn {
namespace {

TEST(TextEncodingTest, Utf8BothWaysAndOnlyValidUtf8IsRead) {
    const std::wstring text = L"a\u00E9\u8868\U0001F600";  // 1, 2, 3 and 4 bytes
    const std::string bytes = "a\xC3\xA9\xE8\xA1\xA8\xF0\x9F\x98\x80";
    EXPECT_EQ(ToUtf8(text), bytes);
    EXPECT_EQ(FromUtf8(bytes), text);
    EXPECT_EQ(FromUtf8("\xEF\xBB\xBF" + bytes), text);
    for (const char* invalid : {"\xC3", "\xC3\x28", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xFF"}) {
        EXPECT_EQ(FromUtf8(invalid), std::nullopt) << invalid;  // cut, overlong, surrogate, too big
    }
}

TEST(TextEncodingTest, Utf16LittleEndianAsTheInterpreterWritesIt) {
    EXPECT_EQ(FromUtf16Le(std::string("\xFF\xFE" "a\0\xE9\0=\xD8\0\xDE\r\0", 12)),
              L"a\u00E9\U0001F600\r");
    EXPECT_EQ(FromUtf16Le(std::string("a\0b", 3)), L"a");
}

}  // namespace
}  // namespace quarn
