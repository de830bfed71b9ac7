// The binary-log options of the command line, and the name and place of the log file.
#include <gtest/gtest.h>

#include "diag/cvlog_file.h"
#include "diag/cvlog_options.h"
#include "diag/cvlog_writer.h"

namespace {

using diag::CVLogOptions;
using diag::ParseCVLogOptions;

TEST(CVLogOptions, DefaultsWithoutArguments) {
    const CVLogOptions options = ParseCVLogOptions({L"/S", L"/D=C:\\Apps"});
    EXPECT_EQ(options.levelThreshold, 3);
    EXPECT_EQ(options.bufferCount, 1000u);
    EXPECT_TRUE(options.buffered);
}

TEST(CVLogOptions, SlashDigitSetsTheThreshold) {
    EXPECT_EQ(ParseCVLogOptions({L"/0"}).levelThreshold, 0);
    EXPECT_EQ(ParseCVLogOptions({L"/7"}).levelThreshold, 7);
    // Only exactly one digit counts.
    EXPECT_EQ(ParseCVLogOptions({L"/12"}).levelThreshold, 3);
    EXPECT_EQ(ParseCVLogOptions({L"/a"}).levelThreshold, 3);
    EXPECT_EQ(ParseCVLogOptions({L"-5"}).levelThreshold, 3);
}

TEST(CVLogOptions, LogLevelTakesASignedDecimal) {
    EXPECT_EQ(ParseCVLogOptions({L"/loglevel:-1"}).levelThreshold, -1);
    EXPECT_EQ(ParseCVLogOptions({L"/loglevel:+5"}).levelThreshold, 5);
    EXPECT_EQ(ParseCVLogOptions({L"/loglevel:12"}).levelThreshold, 12);
    EXPECT_EQ(ParseCVLogOptions({L"/loglevel:high"}).levelThreshold, 0);
    EXPECT_EQ(ParseCVLogOptions({L"/loglevel:99999999999"}).levelThreshold, 2147483647);
    // The prefix is case-sensitive.
    EXPECT_EQ(ParseCVLogOptions({L"/LogLevel:1"}).levelThreshold, 3);
}

TEST(CVLogOptions, LogBufTakesDecimalOrHexadecimal) {
    CVLogOptions options = ParseCVLogOptions({L"/logbuf:0x20"});
    EXPECT_EQ(options.bufferCount, 32u);
    EXPECT_TRUE(options.buffered);
    EXPECT_EQ(ParseCVLogOptions({L"/logbuf:0X1f"}).bufferCount, 31u);
    EXPECT_EQ(ParseCVLogOptions({L"/logbuf: +250"}).bufferCount, 250u);
    EXPECT_EQ(ParseCVLogOptions({L"/logbuf:64k"}).bufferCount, 64u);
    // Decimal, not octal, after a leading zero.
    EXPECT_EQ(ParseCVLogOptions({L"/logbuf:010"}).bufferCount, 10u);
}

TEST(CVLogOptions, LogBufOfZeroOrOneTurnsBufferingOff) {
    EXPECT_FALSE(ParseCVLogOptions({L"/logbuf:1"}).buffered);
    EXPECT_FALSE(ParseCVLogOptions({L"/logbuf:0"}).buffered);
    EXPECT_FALSE(ParseCVLogOptions({L"/logbuf:none"}).buffered);
    EXPECT_TRUE(ParseCVLogOptions({L"/logbuf:2"}).buffered);
}

TEST(CVLogOptions, LaterArgumentsOverrideEarlierOnes) {
    const CVLogOptions options =
        ParseCVLogOptions({L"/loglevel:5", L"/1", L"/logbuf:1", L"/logbuf:40"});
    EXPECT_EQ(options.levelThreshold, 1);
    EXPECT_EQ(options.bufferCount, 40u);
    EXPECT_TRUE(options.buffered);
}

TEST(CVLogNaming, FileNameComesFromTheProgramName) {
    EXPECT_EQ(diag::CVLogFileName(L"C:\\Downloads\\PeloraSetup.exe"), L"PeloraSetup.tlg");
    EXPECT_EQ(diag::CVLogFileName(L"C:\\Downloads\\setup"), L"setup.tlg");
    EXPECT_EQ(diag::CVLogFileName(L"C:\\Downloads\\.exe"), L"log.tlg");
    EXPECT_EQ(diag::CVLogFileName(L"C:/a.b/Pelora.Setup.1.14.exe"), L"Pelora.Setup.1.14.tlg");
    EXPECT_EQ(diag::CVLogFileName(L"C:\\dir.with.dots\\setup"), L"setup.tlg");
    EXPECT_EQ(diag::CVLogFileName(L""), L"log.tlg");
}

TEST(CVLogNaming, PathIsUnderCorvaneLogs) {
    EXPECT_EQ(diag::CVLogPathIn(L"C:\\Users\\u\\AppData\\Roaming", L"setup.tlg"),
              L"C:\\Users\\u\\AppData\\Roaming\\Corvane\\Logs\\setup.tlg");
    EXPECT_EQ(diag::CVLogPathIn(L"C:\\", L"setup.tlg"), L"C:\\Corvane\\Logs\\setup.tlg");
    // No application-data folder: rooted at the current drive.
    EXPECT_EQ(diag::CVLogPathIn(L"", L"log.tlg"), L"\\Corvane\\Logs\\log.tlg");
}

TEST(CVLogNaming, TooLongAPathGivesNoLog) {
    // Rather than write to a cut name, the log is not written at all.
    EXPECT_TRUE(diag::CVLogPathIn(L"C:\\" + std::wstring(250, L'd'), L"setup.tlg").empty());
}

TEST(CVLogWriterStart, InstanceCookieMixesItsSourcesAndIsNeverZero) {
    EXPECT_EQ(diag::MakeInstanceCookie(0x10, 0x01, 0x0000000200000004LL, 0x100000008LL),
              0x10u ^ 0x01u ^ 0x02u ^ 0x04u ^ 0x08u);
    // Sources that cancel out give 1, not 0.
    EXPECT_EQ(diag::MakeInstanceCookie(5, 5, 0, 0), 1u);
}

TEST(CVLogWriterStart, ProcessStartTickIsTheTickAtCreation) {
    // Created 2.5 s ago (25,000,000 units of 100 ns).
    EXPECT_EQ(diag::ProcessStartTickOf(10000, 125000000, 100000000), 7500u);
    // The tick count wraps like the tick count does.
    EXPECT_EQ(diag::ProcessStartTickOf(1000, 30000000, 0), 0xFFFFFFFFu - 1999u);
}

}  // namespace
