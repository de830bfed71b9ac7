// The writer on files of its own: batching, flushing, rotation and the first-record benchmark.
#include <gtest/gtest.h>

#include <thread>

#include <windows.h>

#include "diag/cvlog_entry.h"
#include "diag/cvlog_file.h"
#include "diag/cvlog_record.h"
#include "diag/cvlog_writer.h"
#include "diag/win_handle.h"
#include "test_files.h"
#include "tlg_reader.h"

namespace {

using diag::CVLogWriter;
using diag_test::DecodeRecords;
using diag_test::ScratchFolder;

CVLogWriter::Settings SettingsFor(const std::wstring& path, std::vector<std::wstring> arguments) {
    CVLogWriter::Settings settings;
    settings.path = path;
    settings.options = diag::ParseCVLogOptions(arguments);
    settings.processId = 321;
    settings.instanceCookie = 0xABCD;
    settings.processStartTick = 55;
    return settings;
}

std::unique_ptr<diag::CVLogRecord> Record(int level, const std::wstring& message) {
    diag::CVLogRecordFields fields;
    fields.level = level;
    fields.function = L"Test";
    fields.category = L"Cat";
    fields.message = message;
    return diag::CVLogRecord::Build(fields);
}

std::vector<diag_test::DecodedRecord> ReadLog(const std::wstring& path) {
    bool damaged = true;
    auto records = DecodeRecords(diag_test::ReadBytes(path), &damaged);
    EXPECT_FALSE(damaged) << "damaged log";
    return records;
}

// Calls LogToWriter with a variadic argument list.
void Log(CVLogWriter& writer, std::atomic<bool>& benchmarkDone, int level, const wchar_t* category,
         const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    diag::LogToWriter(writer, benchmarkDone, L"C:\\src/diag\\writer_test.cpp", 42, L"Caller",
                      level, category, format, args);
    va_end(args);
}

TEST(CVLogBuffering, RecordsWaitUntilTheBufferCountIsReached) {
    ScratchFolder folder;
    const std::wstring path = folder / L"batch.tlg";
    CVLogWriter writer(SettingsFor(path, {L"/logbuf:0x20"}));
    for (int i = 0; i < 31; ++i) writer.Append(Record(2, L"r" + std::to_wstring(i)));
    EXPECT_FALSE(diag_test::Exists(path));
    EXPECT_EQ(writer.QueuedCount(), 31u);
    writer.Append(Record(2, L"r31"));
    EXPECT_EQ(writer.QueuedCount(), 0u);
    const auto records = ReadLog(path);
    ASSERT_EQ(records.size(), 32u);
    EXPECT_EQ(records.front().message, L"r0");
    EXPECT_EQ(records.back().message, L"r31");
    // The writer stamps its own process fields.
    EXPECT_EQ(records[5].processId, 321u);
    EXPECT_EQ(records[5].instanceCookie, 0xABCDu);
    EXPECT_EQ(records[5].processStartTick, 55u);
}

TEST(CVLogBuffering, UnbufferedWritesEveryRecordAtOnce) {
    for (const wchar_t* option : {L"/logbuf:1", L"/logbuf:0"}) {
        ScratchFolder folder;
        const std::wstring path = folder / L"direct.tlg";
        CVLogWriter writer(SettingsFor(path, {option}));
        writer.Append(Record(2, L"first"));
        EXPECT_EQ(ReadLog(path).size(), 1u) << option;
        writer.Append(Record(2, L"second"));
        EXPECT_EQ(ReadLog(path).size(), 2u) << option;
    }
}

TEST(CVLogBuffering, FlushAppendsToAnExistingLog) {
    ScratchFolder folder;
    const std::wstring path = folder / L"append.tlg";
    {
        CVLogWriter writer(SettingsFor(path, {}));
        writer.Append(Record(2, L"old"));
    }  // destruction flushes
    CVLogWriter writer(SettingsFor(path, {}));
    writer.Append(Record(2, L"new"));
    writer.Flush();
    const auto records = ReadLog(path);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].message, L"old");
    EXPECT_EQ(records[1].message, L"new");
}

TEST(CVLogBuffering, ReadOnlyLogIsMadeWritable) {
    ScratchFolder folder;
    const std::wstring path = folder / L"readonly.tlg";
    ASSERT_TRUE(diag_test::WriteBytes(path, {}));
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
    CVLogWriter writer(SettingsFor(path, {L"/logbuf:1"}));
    writer.Append(Record(2, L"kept"));
    const auto records = ReadLog(path);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].message, L"kept");
}

TEST(CVLogBuffering, LockedLogKeepsTheQueueForTheNextFlush) {
    ScratchFolder folder;
    const std::wstring path = folder / L"locked.tlg";
    CVLogWriter writer(SettingsFor(path, {}));
    writer.Append(Record(2, L"waiting"));
    {
        diag::ScopedHandle lock(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(lock.IsValid());
        writer.Flush();
        EXPECT_EQ(writer.QueuedCount(), 1u);
    }
    writer.Flush();
    EXPECT_EQ(writer.QueuedCount(), 0u);
    const auto records = ReadLog(path);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].message, L"waiting");
}

TEST(CVLogBuffering, ClosedWriterIgnoresEverythingAfterItsLastFlush) {
    ScratchFolder folder;
    const std::wstring path = folder / L"closed.tlg";
    CVLogWriter writer(SettingsFor(path, {}));
    writer.Append(Record(2, L"last"));
    writer.Close();
    EXPECT_FALSE(writer.Accepts(0));
    writer.Append(Record(0, L"late"));
    writer.Flush();
    const auto records = ReadLog(path);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].message, L"last");
}

TEST(CVLogBuffering, RecordsOfManyThreadsStayWhole) {
    ScratchFolder folder;
    const std::wstring path = folder / L"threads.tlg";
    {
        CVLogWriter writer(SettingsFor(path, {L"/logbuf:100"}));
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&writer, t] {
                for (int i = 0; i < 250; ++i) {
                    writer.Append(Record(2, L"thread " + std::to_wstring(t) + L" record " +
                                                std::to_wstring(i)));
                }
            });
        }
        for (auto& thread : threads) thread.join();
    }
    const auto records = ReadLog(path);
    EXPECT_EQ(records.size(), 1000u);
}

TEST(CVLogStaging, BatchesAreWrittenBeforeTheyOverflowAndBigRecordsAlone) {
    std::vector<std::unique_ptr<diag::CVLogRecord>> queue;
    queue.push_back(Record(2, std::wstring(10, L'a')));   // 168 + 10 + 8 + 22 = 208
    queue.push_back(Record(2, std::wstring(10, L'b')));   // 208
    queue.push_back(Record(2, std::wstring(400, L'c')));  // 988: larger than the buffer
    queue.push_back(Record(2, std::wstring(10, L'd')));   // 208
    std::vector<std::size_t> chunks;
    std::vector<std::uint8_t> written;
    std::vector<std::uint8_t> staging;
    const bool ok = diag::WriteStaged(queue, staging, 500,
                                      [&](const std::uint8_t* data, std::size_t size) {
                                          chunks.push_back(size);
                                          written.insert(written.end(), data, data + size);
                                          return true;
                                      });
    EXPECT_TRUE(ok);
    EXPECT_EQ(chunks, (std::vector<std::size_t>{416, 988, 208}));
    bool damaged = true;
    const auto records = DecodeRecords(written, &damaged);
    EXPECT_FALSE(damaged);
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[2].message, std::wstring(400, L'c'));
}

TEST(CVLogStaging, AFailedWriteStopsTheFlush) {
    std::vector<std::unique_ptr<diag::CVLogRecord>> queue;
    queue.push_back(Record(2, std::wstring(400, L'c')));
    queue.push_back(Record(2, std::wstring(400, L'c')));
    int calls = 0;
    std::vector<std::uint8_t> staging;
    EXPECT_FALSE(diag::WriteStaged(queue, staging, 500, [&](const std::uint8_t*, std::size_t) {
        ++calls;
        return false;
    }));
    EXPECT_EQ(calls, 1);
}

TEST(CVLogRotation, BoundaryIsStrictlyAboveFiveMebibytes) {
    EXPECT_FALSE(diag::ShouldRotate(5242880));
    EXPECT_TRUE(diag::ShouldRotate(5242881));
    EXPECT_FALSE(diag::ShouldRotate(0));
}

TEST(CVLogRotation, LogOfExactlyTheLimitIsKept) {
    ScratchFolder folder;
    const std::wstring path = folder / L"keep.tlg";
    ASSERT_TRUE(diag_test::WriteFileOfSize(path, 5242880, 0x11));
    diag::RotateIfLarge(path);
    EXPECT_EQ(diag_test::SizeOf(path), 5242880u);
    EXPECT_FALSE(diag_test::Exists(path + L".1"));
}

TEST(CVLogRotation, LargerLogBecomesFirstGenerationAndFirstBecomesSecond) {
    ScratchFolder folder;
    const std::wstring path = folder / L"big.tlg";
    ASSERT_TRUE(diag_test::WriteFileOfSize(path, 5242881, 0x11));
    ASSERT_TRUE(diag_test::WriteFileOfSize(path + L".1", 100, 0x22));
    ASSERT_TRUE(diag_test::WriteFileOfSize(path + L".2", 200, 0x33));
    diag::RotateIfLarge(path);
    EXPECT_FALSE(diag_test::Exists(path));
    EXPECT_EQ(diag_test::SizeOf(path + L".1"), 5242881u);
    EXPECT_EQ(diag_test::SizeOf(path + L".2"), 100u);
    EXPECT_EQ(diag_test::ReadBytes(path + L".2")[0], 0x22);
    EXPECT_FALSE(diag_test::Exists(path + L".3"));
}

TEST(CVLogRotation, FirstRotationNeedsNoOlderGenerations) {
    ScratchFolder folder;
    const std::wstring path = folder / L"first.tlg";
    ASSERT_TRUE(diag_test::WriteFileOfSize(path, 6000000, 0x11));
    diag::RotateIfLarge(path);
    EXPECT_FALSE(diag_test::Exists(path));
    EXPECT_EQ(diag_test::SizeOf(path + L".1"), 6000000u);
    EXPECT_FALSE(diag_test::Exists(path + L".2"));
}

TEST(CVLogEntry, FirstRecordIsPrecededByTheBenchmarkOnce) {
    ScratchFolder folder;
    const std::wstring path = folder / L"bench.tlg";
    std::atomic<bool> benchmarkDone(false);
    CVLogWriter writer(SettingsFor(path, {L"/logbuf:1"}));
    Log(writer, benchmarkDone, 3, L"PeloraDataReport", L"%s=%d", L"count", 5);
    Log(writer, benchmarkDone, 2, L"PeloraDataReport", L"second");
    const auto records = ReadLog(path);
    ASSERT_EQ(records.size(), 3u);
    LARGE_INTEGER frequency = {};
    QueryPerformanceFrequency(&frequency);
    EXPECT_EQ(records[0].level, 1);
    EXPECT_EQ(records[0].category, L"PerfBenchmark");
    EXPECT_EQ(records[0].function, L"CVLog_DoCVLogVW");
    EXPECT_EQ(records[0].sourceFile, L"Log");
    EXPECT_EQ(records[0].line, 955u);
    EXPECT_EQ(records[0].message, std::to_wstring(frequency.QuadPart));
    EXPECT_EQ(records[1].level, 3);
    EXPECT_EQ(records[1].message, L"count=5");
    EXPECT_EQ(records[1].sourceFile, L"writer_test.cpp");
    EXPECT_EQ(records[1].function, L"Caller");
    EXPECT_EQ(records[1].line, 42u);
    EXPECT_EQ(records[1].threadId, GetCurrentThreadId());
    EXPECT_EQ(records[2].message, L"second");
}

TEST(CVLogEntry, ThresholdZeroLetsOnlyLevelZeroThroughAndNoBenchmark) {
    ScratchFolder folder;
    const std::wstring path = folder / L"zero.tlg";
    std::atomic<bool> benchmarkDone(false);
    CVLogWriter writer(SettingsFor(path, {L"/0", L"/logbuf:1"}));
    Log(writer, benchmarkDone, 1, L"Cat", L"dropped");
    Log(writer, benchmarkDone, 0, L"Cat", L"kept");
    const auto records = ReadLog(path);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].level, 0);
    EXPECT_EQ(records[0].message, L"kept");
}

TEST(CVLogEntry, NegativeThresholdTurnsTheLogOff) {
    ScratchFolder folder;
    const std::wstring path = folder / L"off.tlg";
    std::atomic<bool> benchmarkDone(false);
    CVLogWriter writer(SettingsFor(path, {L"/loglevel:-1", L"/logbuf:1"}));
    Log(writer, benchmarkDone, 0, L"Cat", L"dropped");
    writer.Flush();
    EXPECT_FALSE(diag_test::Exists(path));
}

TEST(CVLogEntry, CallsWithoutFormatOrCategoryAreIgnored) {
    ScratchFolder folder;
    const std::wstring path = folder / L"missing.tlg";
    std::atomic<bool> benchmarkDone(false);
    CVLogWriter writer(SettingsFor(path, {L"/logbuf:1"}));
    Log(writer, benchmarkDone, 2, nullptr, L"no category");
    Log(writer, benchmarkDone, 2, L"Cat", nullptr);
    EXPECT_FALSE(diag_test::Exists(path));
    EXPECT_FALSE(benchmarkDone.load());
}

TEST(CVLogEntry, LowLevelsCarryTheModuleAddressAndHighLevelsTheCounter) {
    ScratchFolder folder;
    const std::wstring path = folder / L"timing.tlg";
    std::atomic<bool> benchmarkDone(true);
    CVLogWriter writer(SettingsFor(path, {L"/9", L"/logbuf:1"}));
    Log(writer, benchmarkDone, 2, L"Cat", L"low");
    Log(writer, benchmarkDone, 4, L"Cat", L"high");
    const auto records = ReadLog(path);
    ASSERT_EQ(records.size(), 2u);
    wchar_t expected[32] = {};
    _snwprintf(expected, 31, L"0x%I64X",
               static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(GetModuleHandleW(nullptr))));
    EXPECT_EQ(records[0].moduleAddress, expected);
    EXPECT_EQ(records[0].perfCounter, 0);
    EXPECT_EQ(records[1].moduleAddress, L"");
    EXPECT_NE(records[1].perfCounter, 0);
    // Wall-clock seconds of now, give or take a minute.
    EXPECT_NEAR(static_cast<double>(records[1].wallSeconds),
                static_cast<double>(diag::WallClockSeconds()), 60.0);
}

TEST(CVLogEntry, MessageHasNoLengthLimit) {
    ScratchFolder folder;
    const std::wstring path = folder / L"long.tlg";
    std::atomic<bool> benchmarkDone(true);
    CVLogWriter writer(SettingsFor(path, {L"/logbuf:1"}));
    const std::wstring longText(5000, L'z');
    Log(writer, benchmarkDone, 2, L"Cat", L"%s!", longText.c_str());
    const auto records = ReadLog(path);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].message, longText + L"!");
}

}  // namespace
