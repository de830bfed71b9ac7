// The ANSI code-page conversions at the program's edges: the strict one the install manifest
// relies on to never name a different file, and the plain one telemetry sends.
#include <gtest/gtest.h>

#include <windows.h>

#include "diag/ansi_text.h"

namespace {

// A snowman has a form in no ANSI code page.
const wchar_t kNoAnsiForm[] = L"a\u2603b";

TEST(AnsiTextTest, PlainTextConvertsExactlyBothWays) {
    std::string ansi = "left over";
    EXPECT_TRUE(diag::WideToAnsiExact(L"Pelora 2.1 setup.log", ansi));
    EXPECT_EQ("Pelora 2.1 setup.log", ansi);
    EXPECT_EQ("Pelora 2.1 setup.log", diag::WideToAnsi(L"Pelora 2.1 setup.log"));
    EXPECT_EQ(L"Pelora 2.1 setup.log", diag::AnsiToWide("Pelora 2.1 setup.log"));
}

TEST(AnsiTextTest, EmptyTextIsExactAndEmpty) {
    std::string ansi = "left over";
    EXPECT_TRUE(diag::WideToAnsiExact(L"", ansi));
    EXPECT_TRUE(ansi.empty());
    EXPECT_TRUE(diag::WideToAnsi(L"").empty());
    EXPECT_TRUE(diag::AnsiToWide("").empty());
}

TEST(AnsiTextTest, StrictConversionRefusesACharacterWithoutAnsiForm) {
    std::string ansi;
    EXPECT_FALSE(diag::WideToAnsiExact(kNoAnsiForm, ansi));
    // The lossy text is still there for callers that only inform with it.
    ASSERT_GE(ansi.size(), 3u);
    EXPECT_EQ('a', ansi.front());
    EXPECT_EQ('b', ansi.back());
    EXPECT_NE(std::wstring(kNoAnsiForm), diag::AnsiToWide(ansi));
}

TEST(AnsiTextTest, PlainConversionKeepsWhatItCanOfAnUnconvertibleCharacter) {
    const std::string ansi = diag::WideToAnsi(kNoAnsiForm);
    ASSERT_GE(ansi.size(), 3u);
    EXPECT_EQ('a', ansi.front());
    EXPECT_EQ('b', ansi.back());
}

TEST(AnsiTextTest, OnlyThePlainConversionUsesBestFit) {
    if (GetACP() != 1252) GTEST_SKIP() << "best fit of a-macron is checked on code page 1252";
    std::string ansi;
    EXPECT_FALSE(diag::WideToAnsiExact(L"\u0101", ansi));
    EXPECT_EQ("a", diag::WideToAnsi(L"\u0101"));
}

TEST(AnsiTextTest, AccentedLetterOfTheCodePageRoundTrips) {
    if (GetACP() != 1252) GTEST_SKIP() << "checked on code page 1252";
    std::string ansi;
    EXPECT_TRUE(diag::WideToAnsiExact(L"caf\u00e9", ansi));
    EXPECT_EQ("caf\xe9", ansi);
    EXPECT_EQ(L"caf\u00e9", diag::AnsiToWide(ansi));
}

// A system may run with UTF-8 as its ANSI code page; the strict conversion must then accept every
// name that UTF-8 holds, instead of failing on flags that code page refuses.
TEST(AnsiTextTest, StrictConversionToUtf8AcceptsEveryWellFormedName) {
    std::string narrow;
    EXPECT_TRUE(diag::WideToCodePageExact(L"\u6620\u5f69\u76f4\u64ad caf\u00e9 \u2603", CP_UTF8, narrow));
    EXPECT_EQ("\xe6\x98\xa0\xe5\xbd\xa9\xe7\x9b\xb4\xe6\x92\xad caf\xc3\xa9 \xe2\x98\x83", narrow);
    EXPECT_EQ(L"\u6620\u5f69\u76f4\u64ad caf\u00e9 \u2603", diag::CodePageToWide(narrow, CP_UTF8));
    EXPECT_TRUE(diag::WideToCodePageExact(L"plain.txt", CP_UTF8, narrow));
    EXPECT_EQ("plain.txt", narrow);
}

TEST(AnsiTextTest, StrictConversionToUtf8RefusesALoneSurrogate) {
    // Half of a surrogate pair names no character; UTF-8 would silently write U+FFFD instead.
    const std::wstring broken = L"a\xd800" L"b";
    std::string narrow;
    EXPECT_FALSE(diag::WideToCodePageExact(broken, CP_UTF8, narrow));
    EXPECT_NE(broken, diag::CodePageToWide(narrow, CP_UTF8));
}

TEST(AnsiTextTest, StrictConversionToChineseCodePage) {
    if (!IsValidCodePage(936)) GTEST_SKIP() << "code page 936 is not installed";
    std::string narrow;
    EXPECT_TRUE(diag::WideToCodePageExact(L"\u6620\u5f69", 936, narrow));
    EXPECT_EQ("\xd3\xb3\xb2\xca", narrow);
    EXPECT_EQ(L"\u6620\u5f69", diag::CodePageToWide(narrow, 936));
    // The snowman has no form in code page 936.
    EXPECT_FALSE(diag::WideToCodePageExact(kNoAnsiForm, 936, narrow));
}

}  // namespace
