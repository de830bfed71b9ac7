// The benchmark's timeline marks, built as the benchmark presets build them: the file names the
// process's creation first, then each mark with its time, its thread and its text on one line.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>

#include "diag/trace_marks.h"
#include "test_files.h"

namespace {

using diag_test::ScratchFolder;

struct MarkLine {
    uint64_t micros = 0;
    unsigned long thread = 0;
    std::string text;
};

uint64_t NowMicros() {
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    const uint64_t ticks = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return (ticks - 116444736000000000ULL) / 10;
}

std::vector<MarkLine> ReadMarks(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    std::vector<MarkLine> lines;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        MarkLine mark;
        std::string micros, thread;
        std::getline(fields, micros, '\t');
        std::getline(fields, thread, '\t');
        std::getline(fields, mark.text);
        mark.micros = std::stoull(micros);
        mark.thread = std::stoul(thread);
        lines.push_back(mark);
    }
    return lines;
}

TEST(TraceMarks, FollowTheProcessCreationWithTheirTimeThreadAndOneLineOfText) {
    ScratchFolder folder;
    const std::wstring path = folder / L"trace.txt";
    ASSERT_TRUE(SetEnvironmentVariableW(L"PELORA_TRACE_FILE", path.c_str()));
    // The system clock's ordinary reading may lag the precise one by its tick (up to 16 ms).
    const uint64_t before = NowMicros() - 20000;
    trace::Mark(L"Setup.7z解压成功\r\n");
    unsigned long otherThread = 0;
    std::thread other([&otherThread] {
        otherThread = GetCurrentThreadId();
        trace::Mark(L"from\tanother thread");
    });
    other.join();
    const uint64_t after = NowMicros() + 20000;
    SetEnvironmentVariableW(L"PELORA_TRACE_FILE", nullptr);

    const std::vector<MarkLine> marks = ReadMarks(path);
    ASSERT_EQ(3u, marks.size());
    EXPECT_EQ("process created", marks[0].text);
    EXPECT_EQ(0u, marks[0].thread);
    EXPECT_LE(marks[0].micros, before) << "the process was created before the test ran";

    EXPECT_EQ(u8"Setup.7z解压成功  ", marks[1].text) << "line ends become blanks: one mark, one line";
    EXPECT_EQ(GetCurrentThreadId(), marks[1].thread);
    EXPECT_GE(marks[1].micros, before);
    EXPECT_LE(marks[1].micros, marks[2].micros);
    EXPECT_LE(marks[2].micros, after);
    EXPECT_EQ("from another thread", marks[2].text);
    EXPECT_EQ(otherThread, marks[2].thread);
}

}  // namespace
