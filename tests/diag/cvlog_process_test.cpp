// The process-wide writer as a program meets it: created during static initialisation, options
// from the command line, rotation at start, and the flush at exit. Each case runs the probe
// program (cvlog_probe.cpp) beside this test and reads its log.
#include <gtest/gtest.h>

#include "diag/app_data_folder.h"
#include "test_files.h"
#include "tlg_reader.h"

namespace {

std::wstring LogPathOf(const std::wstring& programBaseName) {
    return diag::AppDataFolder(false) + L"\\Corvane\\Logs\\" + programBaseName + L".tlg";
}

class CVLogProcessTest : public ::testing::Test {
protected:
    void SetUp() override { RemoveLogs(); }
    void TearDown() override { RemoveLogs(); }

    void RemoveLogs() {
        for (const wchar_t* suffix : {L"", L".1", L".2"}) diag_test::RemoveTree(m_log + suffix);
    }

    void RunProbe(const std::wstring& arguments, const wchar_t* program = L"cvlog_probe.exe") {
        const std::wstring commandLine =
            L"\"" + diag_test::ExecutableFolder() + L"\\" + program + L"\" " + arguments;
        ASSERT_EQ(diag_test::RunAndWait(commandLine, 30000), 0);
    }

    std::vector<diag_test::DecodedRecord> ReadFrom(size_t offset) {
        auto bytes = diag_test::ReadBytes(m_log);
        EXPECT_GE(bytes.size(), offset);
        bytes.erase(bytes.begin(), bytes.begin() + std::min(offset, bytes.size()));
        bool damaged = true;
        auto records = diag_test::DecodeRecords(bytes, &damaged);
        EXPECT_FALSE(damaged);
        return records;
    }

    std::vector<std::wstring> MessagesFrom(size_t offset = 0) {
        std::vector<std::wstring> messages;
        for (const auto& record : ReadFrom(offset)) messages.push_back(record.message);
        return messages;
    }

    const std::wstring m_log = LogPathOf(L"cvlog_probe");
};

TEST_F(CVLogProcessTest, ExitFlushWritesEverythingIncludingStaticDestructorsLastWords) {
    RunProbe(L"");
    const auto records = ReadFrom(0);
    std::vector<std::wstring> messages;
    for (const auto& record : records) messages.push_back(record.message);
    ASSERT_EQ(messages.size(), 8u);
    EXPECT_EQ(records[0].category, L"PerfBenchmark");
    EXPECT_EQ(messages[1], L"constructed");
    EXPECT_EQ(messages[2], L"record 0");
    EXPECT_EQ(messages[4], L"record 2");
    EXPECT_EQ(messages[5], L"level zero");
    EXPECT_EQ(messages[6], L"destroyed");
    // Its constructor only created the writer; its destructor's record still reaches the file.
    EXPECT_EQ(messages[7], L"ensured destroyed");
    for (const auto& record : records) {
        EXPECT_NE(record.instanceCookie, 0u);
        EXPECT_EQ(record.instanceCookie, records[0].instanceCookie);
        EXPECT_EQ(record.processId, records[0].processId);
        // The process started shortly before it logged.
        EXPECT_LT(record.tick - record.processStartTick, 60000u);
    }
    for (size_t i = 1; i < records.size(); ++i) EXPECT_EQ(records[i].sourceFile, L"cvlog_probe.cpp");
}

TEST_F(CVLogProcessTest, SlashZeroKeepsOnlyLevelZeroAndNoBenchmark) {
    RunProbe(L"/S /0");
    EXPECT_EQ(MessagesFrom(), std::vector<std::wstring>{L"level zero"});
}

TEST_F(CVLogProcessTest, NegativeLogLevelWritesNothing) {
    RunProbe(L"\"/loglevel:-1\"");
    EXPECT_FALSE(diag_test::Exists(m_log));
}

TEST_F(CVLogProcessTest, LogAboveTheLimitAtStartIsRotated) {
    ASSERT_TRUE(diag_test::WriteFileOfSize(m_log, 5242881, 0x11));
    ASSERT_TRUE(diag_test::WriteFileOfSize(m_log + L".1", 10, 0x22));
    RunProbe(L"");
    EXPECT_EQ(diag_test::SizeOf(m_log + L".1"), 5242881u);
    EXPECT_EQ(diag_test::SizeOf(m_log + L".2"), 10u);
    EXPECT_EQ(MessagesFrom().size(), 8u);
}

TEST_F(CVLogProcessTest, LogOfExactlyTheLimitIsAppendedTo) {
    ASSERT_TRUE(diag_test::WriteFileOfSize(m_log, 5242880, 0x11));
    RunProbe(L"");
    EXPECT_FALSE(diag_test::Exists(m_log + L".1"));
    EXPECT_EQ(MessagesFrom(5242880).size(), 8u);
}

TEST_F(CVLogProcessTest, ProgramExportingNoCVLogWritesNothing) {
    const std::wstring log = LogPathOf(L"cvlog_probe_nolog");
    diag_test::RemoveTree(log);
    RunProbe(L"", L"cvlog_probe_nolog.exe");
    EXPECT_FALSE(diag_test::Exists(log));
}

}  // namespace
