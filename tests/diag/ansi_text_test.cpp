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

}  // namespace
