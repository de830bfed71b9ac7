// The command line the crashed program hands its reporter, as printf's %p and %lu write it.
#include <gtest/gtest.h>

#include "payload/crash_report_command.h"

namespace {

using reporter::CrashReportCommand;
using reporter::ParseCrashReportCommand;

TEST(CrashReportCommand, ReadsHandlesBlockAndProcessIdAsPrintfWritesThem) {
    CrashReportCommand command;
    ASSERT_TRUE(ParseCrashReportCommand(L"bugreport /buginfo:0000007C:00000080:0052A6F8:4660 /extinfo:00000000",
                                        command));
    EXPECT_EQ(command.event, 0x7Cu);
    EXPECT_EQ(command.process, 0x80u);
    EXPECT_EQ(command.block, 0x52A6F8u);
    EXPECT_EQ(command.processId, 4660u);
    EXPECT_EQ(command.extraInfo, 0u);
}

TEST(CrashReportCommand, AcceptsLowerCaseAndPrefixedHexAndAQuotedProgramPath) {
    CrashReportCommand command;
    ASSERT_TRUE(ParseCrashReportCommand(
        L"\"C:\\Program Files\\bugreport.exe\" /buginfo:0x1c:ab:0X10:7 /extinfo:ff", command));
    EXPECT_EQ(command.event, 0x1Cu);
    EXPECT_EQ(command.process, 0xABu);
    EXPECT_EQ(command.block, 0x10u);
    EXPECT_EQ(command.processId, 7u);
    EXPECT_EQ(command.extraInfo, 0xFFu);
}

TEST(CrashReportCommand, ExtraInformationIsOptional) {
    CrashReportCommand command;
    command.extraInfo = 5;
    ASSERT_TRUE(ParseCrashReportCommand(L"bugreport /buginfo:1:2:3:4", command));
    EXPECT_EQ(command.extraInfo, 0u);
}

TEST(CrashReportCommand, RejectsMalformedOrMissingFields) {
    CrashReportCommand command;
    for (const wchar_t* line : {
             L"bugreport",
             L"bugreport /extinfo:0",
             L"bugreport /buginfo:1:2:3",           // no process id
             L"bugreport /buginfo:1:2:3:4:5",       // one field too many
             L"bugreport /buginfo:1::3:4",          // empty handle
             L"bugreport /buginfo:1:2:3G:4",        // not hexadecimal
             L"bugreport /buginfo:1:2:3:4A",        // the id is decimal
             L"bugreport /buginfo:1:2:3:4294967296",  // beyond 32 bits
             L"bugreport /buginfo:1:2:3:4 /extinfo:zz",
             L"bugreport /buginfo:0x:2:3:4",
         }) {
        EXPECT_FALSE(ParseCrashReportCommand(line, command)) << line;
    }
}

TEST(CrashReportCommand, RejectsAnAddressWiderThanAPointer) {
    CrashReportCommand command;
    const std::wstring tooWide(sizeof(uintptr_t) * 2 + 1, L'F');
    EXPECT_FALSE(ParseCrashReportCommand(L"bugreport /buginfo:1:2:" + tooWide + L":4", command));
    const std::wstring widest(sizeof(uintptr_t) * 2, L'F');
    ASSERT_TRUE(ParseCrashReportCommand(L"bugreport /buginfo:1:2:" + widest + L":4", command));
    EXPECT_EQ(command.block, static_cast<uintptr_t>(-1));
}

}  // namespace
