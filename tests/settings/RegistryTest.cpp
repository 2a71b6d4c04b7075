#include "settings/Registry.h"

#include <gtest/gtest.h>

#include "fakes/FakePlatform.h"
#include "settings/MailClientSettings.h"

namespace quarn::testing {
namespace {

class RegistryTest : public ::testing::Test {
protected:
    RegistryValue Read(const std::wstring& name) {
        return ReadRegistryValue(platform, kMailClientKey, name);
    }
    FakePlatform platform;
};

TEST_F(RegistryTest, TurnsEachKindOfValueIntoText) {
    platform.SetRegistryDword(L"Zero", 0);
    platform.SetRegistryDword(L"One", 1);
    platform.SetRegistryDword(L"Negative", -5);
    platform.SetRegistryText(L"TextZero", L"0");
    platform.SetRegistryText(L"TextOne", L"1");
    EXPECT_EQ(RegistryValueToText(Read(L"Zero")), L"0");
    EXPECT_EQ(RegistryValueToText(Read(L"One")), L"1");
    EXPECT_EQ(RegistryValueToText(Read(L"Negative")), L"-5");
    EXPECT_EQ(RegistryValueToText(Read(L"TextZero")), L"0");  // no terminator left over
    EXPECT_EQ(RegistryValueToText(Read(L"TextOne")), L"1");
    EXPECT_EQ(RegistryValueToText(Read(L"Missing")), L"");
}

TEST_F(RegistryTest, TextEndsAtItsFirstNul) {
    platform.SetRegistryText(L"DataDir", std::wstring(L"D:\\Mail\\\0junk", 13));
    EXPECT_EQ(RegistryValueToText(Read(L"DataDir")), L"D:\\Mail\\");
    platform.SetRegistryRaw(L"NoTerminator", 1, {'D', 0, ':', 0});
    EXPECT_EQ(RegistryValueToText(Read(L"NoTerminator")), L"D:");
}

TEST_F(RegistryTest, ExpandableTextIsExpanded) {
    platform.environment[L"USERPROFILE"] = L"C:\\Users\\ann";
    platform.SetRegistryText(L"DataDir", L"%USERPROFILE%\\Becky\\", 2);
    EXPECT_EQ(RegistryValueToText(Read(L"DataDir")), L"C:\\Users\\ann\\Becky\\");
}

TEST_F(RegistryTest, StatusAndUntouchedValueForWhatCannotBeRead) {
    const auto key = platform.OpenCurrentUserKey(kMailClientKey, kRegistryAccess);
    ASSERT_TRUE(key);
    platform.SetRegistryRaw(L"Binary", 3, {1, 2, 3});
    platform.SetRegistryRaw(L"LongDword", 4, {1, 0, 0, 0, 0, 0, 0, 0});

    RegistryValue value = std::wstring(L"before");
    EXPECT_EQ(QueryRegistryValue(platform, **key, L"Binary", value), kUnsupportedRegistryType);
    EXPECT_EQ(std::get<std::wstring>(value), L"before");
    EXPECT_EQ(QueryRegistryValue(platform, **key, L"LongDword", value), 234);  // ERROR_MORE_DATA
    EXPECT_EQ(std::get<std::wstring>(value), L"before");
    EXPECT_EQ(QueryRegistryValue(platform, **key, L"Missing", value), 2);
    EXPECT_EQ(std::get<std::wstring>(value), L"before");

    // A text whose variables cannot be expanded is no text at all.
    platform.SetRegistryText(L"DataDir", L"%USERPROFILE%\\Becky\\", 2);
    platform.failCall = [](const std::wstring& call, const std::wstring&) {
        return call == L"ExpandEnvironment" ? 8U : 0U;
    };
    EXPECT_EQ(QueryRegistryValue(platform, **key, L"DataDir", value), 8);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(value));
}

TEST_F(RegistryTest, EachReadOpensAndClosesTheKeyWithItsAccessMask) {
    platform.SetRegistryDword(L"One", 1);
    Read(L"One");
    Read(L"One");
    EXPECT_EQ(platform.openKeys, 0);
    EXPECT_EQ(platform.events.front(), L"open Software\\RimArts\\Quarn\\Settings 63");
    EXPECT_EQ(std::count(platform.events.begin(), platform.events.end(),
                         L"open Software\\RimArts\\Quarn\\Settings 63"),
              2);
}

TEST_F(RegistryTest, MissingKeyReadsAsEmpty) {
    platform.registryKeyExists = false;
    platform.SetRegistryDword(L"One", 1);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(Read(L"One")));
}

}  // namespace
}  // namespace quarn::testing
