// Archives of two solid blocks, decoded at the same time: the result against 7-Zip's own, a
// damaged second block, and cancellation while both blocks are being decoded.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include <lzma/7z.h>
#include <lzma/7zCrc.h>

#include "extract/block_extractor.h"
#include "extract/payload_extractor.h"
#include "extract/resource_stream.h"
#include "extract_test_support.h"

namespace extract_test {
namespace {

constexpr int kFilesPerLargeBlock = 8;

std::vector<std::uint8_t> Archive(const std::wstring& name) {
    std::vector<std::uint8_t> bytes = ReadBytes(DataFolder() + L"\\" + name);
    EXPECT_FALSE(bytes.empty()) << "missing test archive";
    return bytes;
}

std::wstring Reference(const std::wstring& archiveName) {
    return DataFolder() + L"\\" + archiveName.substr(0, archiveName.size() - 3) + L"_7zz";
}

// Every file present below `target` has exactly 7-Zip's content: nothing half-written.
void ExpectOnlyWholeFiles(const std::wstring& target, const std::wstring& reference) {
    for (const std::wstring& file : ListFiles(target)) {
        EXPECT_EQ(ReadBytes(reference + L"\\" + file), ReadBytes(target + L"\\" + file))
            << "half-written or wrong: " << std::string(file.begin(), file.end());
    }
}

// How many of part00..part07 (block 0) and part08..part15 (block 1) were written.
void CountLargeBlockFiles(const std::wstring& target, int* first, int* second) {
    *first = *second = 0;
    for (const std::wstring& file : ListFiles(target)) {
        const int number = std::stoi(file.substr(4, 2));
        (number < kFilesPerLargeBlock ? *first : *second) += 1;
    }
}

unsigned Processors() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors;
}

// Archive offset of block `block`'s first pack stream, which with BCJ2 is its main stream.
std::uint64_t MainStreamOffset(const std::vector<std::uint8_t>& archive, UInt32 block,
                               std::uint64_t* size) {
    static const ISzAlloc alloc = {[](ISzAllocPtr, size_t n) { return n ? malloc(n) : nullptr; },
                                   [](ISzAllocPtr, void* p) { free(p); }};
    extract::ResourceStream stream(archive.data(), archive.size());
    CrcGenerateTable();
    CSzArEx database;
    SzArEx_Init(&database);
    EXPECT_EQ(SZ_OK, SzArEx_Open(&database, stream.LookStream(), &alloc, &alloc));
    EXPECT_EQ(2u, database.db.NumFolders);
    const UInt32 first = database.db.FoStartPackStreamIndex[block];
    const std::uint64_t offset = database.dataPos + database.db.PackPositions[first];
    *size = database.db.PackPositions[first + 1] - database.db.PackPositions[first];
    SzArEx_Free(&database, &alloc);
    return offset;
}

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

// Cancels once the first file is reported and remembers when it first said so.
class CancelAfterFirstFile : public IExtractProgressCallback {
public:
    void OnProgress(std::uint32_t done, std::uint32_t) override { m_nReports += done > 0 ? 1 : 0; }
    bool IsCancelled() override {
        if (m_nReports == 0) return false;
        if (!m_bCancelled) QueryPerformanceCounter(&m_cancelledAt);
        m_bCancelled = true;
        return true;
    }
    bool m_bCancelled = false;
    LARGE_INTEGER m_cancelledAt = {};

private:
    int m_nReports = 0;
};

// Decoding costs about what a block packs: the workers take the largest first, so that none is
// left decoding a large block alone at the end.
TEST(BlockOrder, TheBlocksThatPackTheMostComeFirstAndEqualOnesInArchiveOrder) {
    // Blocks 0 to 3 have one pack stream each (4, 16, 5 and 16 bytes), block 4 two (3 and 3).
    UInt64 positions[] = {0, 4, 20, 25, 41, 44, 47};
    UInt32 firstStreams[] = {0, 1, 2, 3, 4, 6};
    CSzArEx database;
    SzArEx_Init(&database);
    database.db.NumFolders = 5;
    database.db.PackPositions = positions;
    database.db.FoStartPackStreamIndex = firstStreams;
    EXPECT_EQ((std::vector<UInt32>{1, 3, 4, 2, 0}), extract::OrderBlocks(&database));
    database.db.NumFolders = 0;
    EXPECT_EQ(std::vector<UInt32>(), extract::OrderBlocks(&database));
}

TEST(TwoBlocks, ExtractionEqualsSevenZipByteForByte) {
    for (const std::wstring name : {L"two_blocks.7z", L"large_blocks.7z"}) {
        SCOPED_TRACE(std::string(name.begin(), name.end()));
        TempFolder target;
        const std::vector<std::uint8_t> archive = Archive(name);
        RecordingCallback callback;
        LogCapture log;

        ASSERT_EQ(0, ExtractArchive(&callback, target.Path(), archive.data(), archive.size()));

        const std::vector<std::wstring> expected = ListFiles(Reference(name));
        ASSERT_GE(expected.size(), 16u);
        EXPECT_EQ(expected, ListFiles(target.Path()));
        ExpectOnlyWholeFiles(target.Path(), Reference(name));
        // One report before the first file and one per file, rising to the total.
        ASSERT_EQ(expected.size() + 1, callback.m_reports.size());
        EXPECT_EQ(0u, callback.m_reports.front().done);
        EXPECT_EQ(callback.m_reports.front().total, callback.m_reports.back().done);
        for (size_t i = 1; i < callback.m_reports.size(); ++i)
            EXPECT_GE(callback.m_reports[i].done, callback.m_reports[i - 1].done);
        EXPECT_EQ(static_cast<int>(expected.size()), log.Count(L"[path] = "));
        EXPECT_TRUE(log.Contains(L"[m_nCompleteSize] = " +
                                 std::to_wstring(callback.m_reports.back().done) + L"\r\n"));
    }
}

TEST(TwoBlocks, DamagedSecondBlockFailsAndStopsTheFirst) {
    std::vector<std::uint8_t> archive = Archive(L"large_blocks.7z");
    std::uint64_t mainSize = 0;
    const std::uint64_t main = MainStreamOffset(archive, 1, &mainSize);
    ASSERT_GT(mainSize, 100000u);
    for (std::uint64_t i = main + 64; i < main + 96; ++i) archive[i] ^= 0xA5;
    TempFolder target;
    LogCapture log;

    EXPECT_EQ(1, ExtractArchive(nullptr, target.Path(), archive.data(), archive.size()));

    EXPECT_EQ(1, log.Count(L"[ExtractFile]:SzExtract ERROR\r\n"));
    EXPECT_TRUE(log.Contains(L"ExtractFile时出错：#"));
    EXPECT_TRUE(log.Contains(L"[TestLzma]:CRC error") || log.Contains(L"[TestLzma]:ERROR #"));
    ExpectOnlyWholeFiles(target.Path(), Reference(L"large_blocks.7z"));
    int first = 0, second = 0;
    CountLargeBlockFiles(target.Path(), &first, &second);
    EXPECT_EQ(0, second);
    // The first block's decoder runs beside the second only when there is a second processor.
    if (Processors() >= 2) {
        EXPECT_LT(first, kFilesPerLargeBlock);
    }
}

TEST(TwoBlocks, CancellationStopsBothDecodersWithinATenthOfASecond) {
    const std::vector<std::uint8_t> archive = Archive(L"large_blocks.7z");
    TempFolder target;
    CancelAfterFirstFile callback;

    EXPECT_EQ(0, ExtractArchive(&callback, target.Path(), archive.data(), archive.size()));
    LARGE_INTEGER returned;
    QueryPerformanceCounter(&returned);

    ASSERT_TRUE(callback.m_bCancelled);
    EXPECT_LT(Milliseconds(callback.m_cancelledAt, returned), 100.0);
    ExpectOnlyWholeFiles(target.Path(), Reference(L"large_blocks.7z"));
    int first = 0, second = 0;
    CountLargeBlockFiles(target.Path(), &first, &second);
    EXPECT_LT(first, kFilesPerLargeBlock);
    EXPECT_LT(second, kFilesPerLargeBlock);
}

}  // namespace
}  // namespace extract_test
