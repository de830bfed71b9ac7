// The text install log on real files: byte-order mark, appending, stamps and cut messages.
#include <gtest/gtest.h>

#include <cwctype>
#include <thread>

#include <windows.h>

#include "diag/app_data_folder.h"
#include "diag/folder_chain.h"
#include "diag/install_log.h"
#include "test_files.h"

namespace {

using diag_test::ScratchFolder;

// Every test leaves the process-wide log closed.
class InstallLogTest : public ::testing::Test {
protected:
    void SetUp() override { InstallLog::Close(); }
    void TearDown() override { InstallLog::Close(); }
};

// Removes the stamps "[d:d:d:d:d:d]" that start each line, so that content can be compared.
std::wstring WithoutStamps(const std::wstring& text) {
    std::wstring result;
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] == L'[') {
            size_t j = i + 1;
            int colons = 0;
            while (j < text.size() && (iswdigit(text[j]) || text[j] == L':')) colons += text[j++] == L':';
            if (j < text.size() && text[j] == L']' && colons == 5) {
                i = j + 1;
                continue;
            }
        }
        result += text[i++];
    }
    return result;
}

TEST_F(InstallLogTest, NewFileStartsWithOneByteOrderMarkAndItsFolderChainIsMade) {
    ScratchFolder folder;
    const std::wstring path = folder / L"Corvane\\Logs\\PeloraInstall.txt";
    InstallLog::Open(path);
    InstallLog::Write(L"[setup]first\n");
    InstallLog::Close();
    const auto bytes = diag_test::ReadBytes(path);
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xFE);
    const std::wstring text = diag_test::ReadUtf16(path);
    EXPECT_EQ(WithoutStamps(text.substr(1)), L"[setup]first\n");
}

TEST_F(InstallLogTest, ReopeningAppendsWithoutASecondMark) {
    ScratchFolder folder;
    const std::wstring path = folder / L"PeloraInstall.txt";
    InstallLog::Open(path);
    InstallLog::Write(L"one\r\n");
    InstallLog::Close();
    InstallLog::Open(path);
    InstallLog::Write(L"two\r\n");
    InstallLog::Close();
    const std::wstring text = diag_test::ReadUtf16(path);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text[0], 0xFEFF);
    EXPECT_EQ(text.find(wchar_t(0xFEFF), 1), std::wstring::npos);
    EXPECT_EQ(WithoutStamps(text.substr(1)), L"one\r\ntwo\r\n");
}

TEST_F(InstallLogTest, LinesBeforeOpenAndAfterCloseAreLost) {
    ScratchFolder folder;
    const std::wstring path = folder / L"PeloraInstall.txt";
    InstallLog::Write(L"too early\n");
    InstallLog::Open(path);
    InstallLog::Write(L"kept\n");
    InstallLog::Close();
    InstallLog::Write(L"too late\n");
    EXPECT_EQ(WithoutStamps(diag_test::ReadUtf16(path).substr(1)), L"kept\n");
}

TEST_F(InstallLogTest, SecondOpenKeepsTheFirstStream) {
    ScratchFolder folder;
    InstallLog::Open(folder / L"first.txt");
    InstallLog::Open(folder / L"second.txt");
    InstallLog::Write(L"line\n");
    InstallLog::Close();
    EXPECT_FALSE(diag_test::Exists(folder / L"second.txt"));
    EXPECT_EQ(WithoutStamps(diag_test::ReadUtf16(folder / L"first.txt").substr(1)), L"line\n");
}

TEST_F(InstallLogTest, EachLineIsWrittenAtOnceWithoutWaitingForClose) {
    ScratchFolder folder;
    const std::wstring path = folder / L"PeloraInstall.txt";
    InstallLog::Open(path);
    InstallLog::Write(L"[setup]drive = D:\\ \n");
    // Read while the log is still open: the line is already on disk.
    EXPECT_EQ(WithoutStamps(diag_test::ReadUtf16(path).substr(1)), L"[setup]drive = D:\\ \n");
}

TEST_F(InstallLogTest, StampIsLocalTimeWithoutZeroPadding) {
    EXPECT_EQ(InstallLog::FormatStamp(2016, 3, 7, 9, 5, 2), L"[2016:3:7:9:5:2]");
    EXPECT_EQ(InstallLog::FormatStamp(2024, 12, 31, 23, 59, 59), L"[2024:12:31:23:59:59]");
    SYSTEMTIME now = {};
    GetLocalTime(&now);
    const std::wstring stamp = InstallLog::Stamp();
    const std::wstring prefix = L"[" + std::to_wstring(now.wYear) + L":" +
                                std::to_wstring(now.wMonth) + L":" + std::to_wstring(now.wDay) + L":";
    EXPECT_EQ(stamp.compare(0, prefix.size(), prefix), 0) << std::string(stamp.begin(), stamp.end());
    EXPECT_EQ(stamp.back(), L']');
}

TEST_F(InstallLogTest, EveryWrittenLineStartsWithAStamp) {
    ScratchFolder folder;
    const std::wstring path = folder / L"PeloraInstall.txt";
    InstallLog::Open(path);
    InstallLog::Format(L"[setup]drive = %s \n", L"D:\\");
    InstallLog::Close();
    const std::wstring text = diag_test::ReadUtf16(path).substr(1);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text[0], L'[');
    EXPECT_EQ(text.substr(text.find(L']') + 1), L"[setup]drive = D:\\ \n");
}

TEST_F(InstallLogTest, LongMessageIsCutToTheBufferAndKeepsItsLineEnd) {
    ScratchFolder folder;
    const std::wstring path = folder / L"PeloraInstall.txt";
    const std::wstring longText(600, L'x');
    InstallLog::Open(path);
    InstallLog::Format(L"[setup]%s\r\n", longText.c_str());
    InstallLog::Write(L"next\r\n");
    InstallLog::Close();
    const std::wstring text = WithoutStamps(diag_test::ReadUtf16(path).substr(1));
    const std::wstring expected = L"[setup]" + std::wstring(511 - 7 - 2, L'x') + L"\r\n" + L"next\r\n";
    EXPECT_EQ(text, expected);
}

TEST_F(InstallLogTest, FormatLineNeverWritesPastItsBuffer) {
    wchar_t buffer[40];
    for (wchar_t& c : buffer) c = L'#';
    const std::wstring longText(600, L'y');
    auto format = [&](size_t capacity, const wchar_t* fmt, ...) {
        va_list args;
        va_start(args, fmt);
        const bool cut = InstallLog::FormatLine(buffer, capacity, fmt, args);
        va_end(args);
        return cut;
    };
    EXPECT_TRUE(format(32, L"%s\n", longText.c_str()));
    EXPECT_EQ(std::wstring(buffer), std::wstring(30, L'y') + L"\n");
    for (size_t i = 32; i < 40; ++i) EXPECT_EQ(buffer[i], L'#') << i;

    // Exactly 31 characters fit a 32-character buffer and are not cut.
    EXPECT_FALSE(format(32, L"%s", std::wstring(31, L'k').c_str()));
    EXPECT_EQ(std::wstring(buffer), std::wstring(31, L'k'));

    // A surrogate pair is not split by the cut.
    std::wstring pairs;
    for (int i = 0; i < 20; ++i) pairs += L"\U0001F600";
    EXPECT_TRUE(format(32, L"%s", pairs.c_str()));
    const std::wstring cut = buffer;
    EXPECT_EQ(cut.size(), 30u);
    EXPECT_TRUE(cut.back() >= 0xDC00 && cut.back() <= 0xDFFF);
}

TEST_F(InstallLogTest, LinesOfTwoThreadsNeverMix) {
    ScratchFolder folder;
    const std::wstring path = folder / L"PeloraInstall.txt";
    InstallLog::Open(path);
    auto writer = [](wchar_t letter) {
        const std::wstring line = std::wstring(200, letter) + L"\r\n";
        for (int i = 0; i < 200; ++i) InstallLog::Write(line.c_str());
    };
    std::thread first(writer, L'a');
    std::thread second(writer, L'b');
    first.join();
    second.join();
    InstallLog::Close();
    const std::wstring text = diag_test::ReadUtf16(path).substr(1);
    size_t lines = 0;
    for (size_t start = 0; start < text.size();) {
        const size_t end = text.find(L"\r\n", start);
        ASSERT_NE(end, std::wstring::npos);
        const std::wstring line = WithoutStamps(text.substr(start, end - start));
        ASSERT_EQ(line.size(), 200u);
        EXPECT_EQ(line.find_first_not_of(line[0]), std::wstring::npos);
        start = end + 2;
        ++lines;
    }
    EXPECT_EQ(lines, 400u);
}

TEST_F(InstallLogTest, DefaultPathIsUnderTheApplicationDataFolder) {
    const std::wstring path = InstallLog::DefaultPath();
    const std::wstring expected =
        diag::AppDataFolder(false) + L"\\Corvane\\Logs\\PeloraInstall.txt";
    EXPECT_EQ(path, expected);
    EXPECT_GT(path.size(), std::wstring(L"\\Corvane\\Logs\\PeloraInstall.txt").size());
}

TEST(FolderChain, AFileInTheWayOfAFolderIsReplaced) {
    ScratchFolder folder;
    ASSERT_TRUE(diag_test::WriteBytes(folder / L"Corvane", {1, 2, 3}));
    EXPECT_TRUE(diag::CreateFolderChain(folder / L"Corvane\\Logs\\deep"));
    const DWORD attributes = GetFileAttributesW((folder / L"Corvane\\Logs\\deep").c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(FolderChain, EmptyAndOverlongPathsAreRefused) {
    EXPECT_FALSE(diag::CreateFolderChain(L""));
    ScratchFolder folder;
    const std::wstring overlong = folder / std::wstring(270, L'q');
    EXPECT_FALSE(diag::CreateFolderChain(overlong));
    EXPECT_FALSE(diag_test::Exists(overlong));
}

}  // namespace
