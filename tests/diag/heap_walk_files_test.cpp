// The heap-walk files of a crash: their names, and what a walk of a real heap writes into them.
#include <gtest/gtest.h>

#include <windows.h>

#include <cwctype>
#include <sstream>
#include <string>
#include <vector>

#include "diag/heap_walk_files.h"
#include "test_files.h"

namespace {

using diag::HeapWalkOutcome;
using diag_test::ScratchFolder;

constexpr wchar_t kHeader[] = L"FreeBlkAddr:Len,OverheadSize";
constexpr wchar_t kOkLine[] = L"-----------ok:no error encountered durning walking-----------";
constexpr wchar_t kCorruptLine[] = L"----------------heap corrupt!!!------------------";

std::vector<std::wstring> Lines(const std::wstring& path) {
    const std::wstring text = diag_test::ReadUtf16(path);
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (size_t end; (end = text.find(L"\r\n", start)) != std::wstring::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "every line ends with CR LF";
    return lines;
}

// "address:size,overhead" with the address as wide as a pointer; the size, or -1 when malformed.
long EntrySize(const std::wstring& line) {
    const size_t colon = line.find(L':');
    const size_t comma = line.find(L',');
    if (colon != sizeof(void*) * 2 || comma == std::wstring::npos || comma < colon) return -1;
    for (size_t i = 0; i < line.size(); ++i)
        if (i != colon && i != comma && !iswxdigit(line[i])) return -1;
    return std::wcstol(line.substr(colon + 1, comma - colon - 1).c_str(), nullptr, 16);
}

TEST(HeapWalkFileNamesTest, NameTheRunningProgramAndTheCrashTick) {
    wchar_t full[MAX_PATH + 1];
    wchar_t above[MAX_PATH + 1];
    ASSERT_TRUE(diag::HeapWalkFileNames(L"C:\\T\\Corvane\\", L"C:\\a.b\\PeloraSetup.exe", 0x1a2bu, full, above,
                                        MAX_PATH + 1));
    EXPECT_STREQ(full, L"C:\\T\\Corvane\\PeloraSetup1a2bHeapwalk_full.txt");
    EXPECT_STREQ(above, L"C:\\T\\Corvane\\PeloraSetup1a2bHeapwalk_above30.txt");

    // Without a tick the name goes without it; a program without extension keeps its whole name.
    ASSERT_TRUE(diag::HeapWalkFileNames(L"C:\\T\\", L"C:\\a.b\\setup", 0, full, above, MAX_PATH + 1));
    EXPECT_STREQ(full, L"C:\\T\\setupHeapwalk_full.txt");
    EXPECT_STREQ(above, L"C:\\T\\setupHeapwalk_above30.txt");
}

TEST(HeapWalkFileNamesTest, RefuseAPathThatDoesNotFit) {
    wchar_t full[40];
    wchar_t above[40];
    EXPECT_FALSE(diag::HeapWalkFileNames(L"C:\\Temp\\Corvane\\", L"C:\\PeloraSetup.exe", 0xffffffffu, full, above, 40));
    // Just fitting the full name is not enough when the second name is longer.
    EXPECT_FALSE(diag::HeapWalkFileNames(L"C:\\", L"C:\\abcdefghijklmno.exe", 0, full, above, 36));
}

class HeapWalkFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        heap = HeapCreate(0, 0, 0);
        ASSERT_NE(heap, nullptr);
    }
    void TearDown() override { HeapDestroy(heap); }

    HANDLE heap = nullptr;
    ScratchFolder scratch;
    std::wstring full = scratch / L"xHeapwalk_full.txt";
    std::wstring above = scratch / L"xHeapwalk_above30.txt";
};

TEST_F(HeapWalkFilesTest, AWalkOfAHealthyHeapListsItsFreeBlocksAndEndsWithFull) {
    // Busy blocks of many sizes, every other one freed again: free blocks above and below 0x30.
    std::vector<void*> blocks;
    for (int i = 0; i < 64; ++i) blocks.push_back(HeapAlloc(heap, 0, 16 + (i % 8) * 40));
    for (size_t i = 0; i < blocks.size(); i += 2) HeapFree(heap, 0, blocks[i]);

    EXPECT_EQ(diag::WriteHeapWalkFiles(heap, full.c_str(), above.c_str(), 5000), HeapWalkOutcome::Complete);

    const std::vector<std::wstring> fullLines = Lines(full);
    const std::vector<std::wstring> aboveLines = Lines(above);
    ASSERT_GE(fullLines.size(), 4u);
    EXPECT_EQ(fullLines.front(), kHeader);
    EXPECT_EQ(fullLines[fullLines.size() - 2], kOkLine);
    EXPECT_EQ(fullLines.back(), L"full");
    ASSERT_GE(aboveLines.size(), 3u);
    EXPECT_EQ(aboveLines.front(), kHeader);
    EXPECT_EQ(aboveLines[aboveLines.size() - 2], kOkLine);
    EXPECT_EQ(aboveLines.back(), L"full");

    // The entries: every free block and region of the full file, and in the second file exactly
    // those of 0x30 bytes and more, in the same order.
    std::vector<std::wstring> large;
    for (size_t i = 1; i + 2 < fullLines.size(); ++i) {
        const long size = EntrySize(fullLines[i]);
        ASSERT_GE(size, 0) << "malformed entry " << std::string(fullLines[i].begin(), fullLines[i].end());
        if (size >= 0x30) large.push_back(fullLines[i]);
    }
    EXPECT_GE(fullLines.size() - 3, 32u) << "the 32 freed blocks are listed (or merged into larger free blocks)";
    EXPECT_EQ(std::vector<std::wstring>(aboveLines.begin() + 1, aboveLines.end() - 2), large);
    EXPECT_LT(large.size(), fullLines.size() - 3) << "small free blocks stay out of the second file";
}

TEST_F(HeapWalkFilesTest, AnOverwrittenBlockHeaderMarksTheHeapCorrupt) {
    auto* first = static_cast<unsigned char*>(HeapAlloc(heap, 0, 64));
    auto* second = static_cast<unsigned char*>(HeapAlloc(heap, 0, 64));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    // A runaway write from the end of one block into the bookkeeping in front of the next.
    memset(second - 16, 0xAB, 16);

    EXPECT_EQ(diag::WriteHeapWalkFiles(heap, full.c_str(), above.c_str(), 5000), HeapWalkOutcome::Corrupt);
    for (const std::wstring& path : {full, above}) {
        const std::vector<std::wstring> lines = Lines(path);
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0], kHeader);
        EXPECT_EQ(lines[1], kCorruptLine);
    }
    memset(second - 16, 0, 16);
}

TEST_F(HeapWalkFilesTest, AWalkOverItsTimeLimitStopsAndEndsWithMore) {
    // A hundred thousand free blocks take far longer to write out than a limit of 0 ms allows (ten
    // thousand were seen written within one millisecond).
    std::vector<void*> blocks;
    for (int i = 0; i < 200000; ++i) blocks.push_back(HeapAlloc(heap, 0, 64));
    for (size_t i = 0; i < blocks.size(); i += 2) HeapFree(heap, 0, blocks[i]);

    EXPECT_EQ(diag::WriteHeapWalkFiles(heap, full.c_str(), above.c_str(), 0), HeapWalkOutcome::Incomplete);
    const std::vector<std::wstring> lines = Lines(full);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines.front(), kHeader);
    EXPECT_EQ(lines[lines.size() - 2], kOkLine);
    EXPECT_EQ(lines.back(), L"more...");
    EXPECT_LT(lines.size(), 100000u) << "the walk stopped before the last free block";
    EXPECT_EQ(Lines(above).back(), L"more...");
}

TEST_F(HeapWalkFilesTest, ReplacesAnOlderFileOfTheSameName) {
    ASSERT_TRUE(diag_test::WriteBytes(full, std::vector<std::uint8_t>(4096, 'x')));
    EXPECT_EQ(diag::WriteHeapWalkFiles(heap, full.c_str(), above.c_str(), 5000), HeapWalkOutcome::Complete);
    const std::vector<std::wstring> lines = Lines(full);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), kHeader);
    EXPECT_EQ(lines.back(), L"full");
}

}  // namespace
