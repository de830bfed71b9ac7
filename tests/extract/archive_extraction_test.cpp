// ExtractArchive over archives held in memory: content, failures, unsafe names, cancellation.
#include <gtest/gtest.h>

#include "extract/payload_extractor.h"
#include "extract_test_support.h"

namespace extract_test {
namespace {

int ExtractFile(const std::wstring& archiveName, const std::wstring& target,
                IExtractProgressCallback* callback = nullptr) {
    const std::vector<std::uint8_t> archive = ReadBytes(DataFolder() + L"\\" + archiveName);
    EXPECT_FALSE(archive.empty()) << "missing test archive";
    return ExtractArchive(callback, target, archive.data(), archive.size());
}

std::vector<std::uint8_t> StandInPayload() {
    return ReadBytes(PayloadArchive());
}

TEST(ArchiveContent, SolidBcj2PayloadIsExtractedByteForByte) {
    TempFolder target;
    const std::vector<std::uint8_t> archive = StandInPayload();
    ASSERT_FALSE(archive.empty());
    RecordingCallback callback;
    LogCapture log;

    ASSERT_EQ(0, ExtractArchive(&callback, target.Path(), archive.data(), archive.size()));

    const std::vector<std::wstring> expected = ListFiles(LayoutFolder());
    ASSERT_GT(expected.size(), 30u);
    EXPECT_EQ(expected, ListFiles(target.Path()));
    for (const std::wstring& file : expected) {
        EXPECT_EQ(ReadBytes(LayoutFolder() + L"\\" + file), ReadBytes(target.Path() + L"\\" + file))
            << "content differs: " << std::string(file.begin(), file.end());
    }
    EXPECT_TRUE(log.Contains(L"[TestLzma]:解压完成, size:" + std::to_wstring(archive.size()) + L"\r\n"));
    EXPECT_TRUE(log.Contains(L"[path] = " + target.Path() + L"\\SysDir/Microsoft.VC80.CRT/msvcm80.dll \r\n"));
}

TEST(ArchiveContent, ProgressStartsAtZeroAndEndsAtTheTotal) {
    TempFolder target;
    const std::vector<std::uint8_t> archive = StandInPayload();
    RecordingCallback callback;
    ASSERT_EQ(0, ExtractArchive(&callback, target.Path(), archive.data(), archive.size()));

    std::uint32_t layoutBytes = 0;
    for (const std::wstring& file : ListFiles(LayoutFolder()))
        layoutBytes += static_cast<std::uint32_t>(ReadBytes(LayoutFolder() + L"\\" + file).size());
    ASSERT_EQ(ListFiles(LayoutFolder()).size() + 1, callback.m_reports.size());
    EXPECT_EQ(0u, callback.m_reports.front().done);
    EXPECT_EQ(layoutBytes, callback.m_reports.front().total);
    EXPECT_EQ(layoutBytes, callback.m_reports.back().done);
    for (size_t i = 1; i < callback.m_reports.size(); ++i)
        EXPECT_GE(callback.m_reports[i].done, callback.m_reports[i - 1].done);
}

TEST(ArchiveContent, ExistingFilesAreOverwritten) {
    TempFolder target;
    const std::wstring file = target.Path() + L"\\only.txt";
    HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(handle, "an older and longer content than the archive has", 49, &written, nullptr);
    CloseHandle(handle);

    ASSERT_EQ(0, ExtractFile(L"single_name.7z", target.Path()));
    const std::vector<std::uint8_t> bytes = ReadBytes(file);
    EXPECT_EQ("a name without a folder\r\n", std::string(bytes.begin(), bytes.end()));
}

TEST(ArchiveContent, EntryWithoutFolderLandsDirectlyInTheTarget) {
    TempFolder target;
    ASSERT_EQ(0, ExtractFile(L"single_name.7z", target.Path()));
    EXPECT_EQ(std::vector<std::wstring>{L"only.txt"}, ListFiles(target.Path()));
}

TEST(ArchiveFailures, FlippedByteGivesCrcErrorAndResultOne) {
    TempFolder target;
    LogCapture log;
    const std::vector<std::uint8_t> archive = ReadBytes(DataFolder() + L"\\crc_flip.7z");
    EXPECT_EQ(1, ExtractArchive(nullptr, target.Path(), archive.data(), archive.size()));
    EXPECT_TRUE(log.Contains(L"[ExtractFile]:SzExtract ERROR\r\n"));
    EXPECT_TRUE(log.Contains(L"ExtractFile时出错：#3\r\n"));
    EXPECT_TRUE(log.Contains(L"[TestLzma]:CRC error, size:" + std::to_wstring(archive.size()) + L"\r\n"));
    EXPECT_TRUE(log.Contains(L"[m_nCompleteSize] = 0\r\n"));
    EXPECT_TRUE(ListFiles(target.Path()).empty());
}

TEST(ArchiveFailures, BytesThatAreNoArchiveGiveResultOne) {
    TempFolder target;
    LogCapture log;
    const char notAnArchive[] = "this is plain text and no 7z archive at all, long enough to read";
    EXPECT_EQ(1, ExtractArchive(nullptr, target.Path(), notAnArchive, sizeof(notAnArchive)));
    EXPECT_TRUE(log.Contains(L"[TestLzma]:ERROR #17, size:" + std::to_wstring(sizeof(notAnArchive))));
}

TEST(ArchiveFailures, UnsupportedMethodIsLoggedWithItsNumber) {
    TempFolder target;
    LogCapture log;
    const std::vector<std::uint8_t> archive = ReadBytes(DataFolder() + L"\\deflate.7z");
    ASSERT_FALSE(archive.empty());
    EXPECT_EQ(1, ExtractArchive(nullptr, target.Path(), archive.data(), archive.size()));
    // Only E_NOTIMPL has the "not supported" text; the decoder's own code is a plain error number.
    EXPECT_TRUE(log.Contains(L"[TestLzma]:ERROR #4, size:" + std::to_wstring(archive.size()) + L"\r\n"));
    EXPECT_FALSE(log.Contains(L"[TestLzma]:decoder doesn't support this archive"));
    EXPECT_TRUE(ListFiles(target.Path()).empty());
}

TEST(ArchiveFailures, TruncatedArchiveFailsWithoutReadingPastItsEnd) {
    TempFolder target;
    std::vector<std::uint8_t> archive = StandInPayload();
    archive.resize(archive.size() / 2);
    EXPECT_EQ(1, ExtractArchive(nullptr, target.Path(), archive.data(), archive.size()));
}

// A target one level down, so that an escape by ".." would land in a folder the test can see.
class UnsafeEntryNames : public testing::TestWithParam<const wchar_t*> {};

TEST_P(UnsafeEntryNames, AreRefusedAndNothingIsWrittenOutside) {
    TempFolder outer;
    const std::wstring target = outer.Path() + L"\\target";
    ASSERT_TRUE(EnsureFolder(target));
    LogCapture log;

    EXPECT_EQ(1, ExtractFile(GetParam(), target));

    EXPECT_FALSE(Exists(outer.Path() + L"\\escape.txt"));
    EXPECT_FALSE(Exists(L"C:\\escape.txt"));
    EXPECT_FALSE(Exists(L"C:\\z\\escape.txt"));
    EXPECT_EQ(std::vector<std::wstring>{}, ListFiles(target));
    EXPECT_TRUE(log.Contains(L"[ExtractFile]:非法的文件名 "));
    EXPECT_TRUE(log.Contains(L"[TestLzma]:ERROR #-2147467259"));
}

INSTANTIATE_TEST_SUITE_P(Names, UnsafeEntryNames,
                         testing::Values(L"dotdot.7z", L"drive.7z", L"rooted.7z"));

TEST(ArchiveFailures, SafeNameOfTheSameShapeIsExtracted) {
    TempFolder target;
    ASSERT_EQ(0, ExtractFile(L"safe_name.7z", target.Path()));
    EXPECT_TRUE(Exists(target.Path() + L"\\zz\\escape.txt"));
}

TEST(ArchiveFailures, PathLongerThanItsBufferFailsInsteadOfBeingCut) {
    TempFolder outer;
    // The 205-character entry fits below a short target but not below this one.
    const std::wstring target = outer.Path() + L"\\" + std::wstring(60, L't');
    ASSERT_TRUE(EnsureFolder(target));
    LogCapture log;

    EXPECT_EQ(1, ExtractFile(L"long_name.7z", target));
    EXPECT_TRUE(ListFiles(outer.Path()).empty());
    EXPECT_TRUE(log.Contains(L"[ExtractFile]:文件路径过长 "));

    TempFolder shortTarget;
    EXPECT_EQ(0, ExtractFile(L"long_name.7z", shortTarget.Path()));
    EXPECT_EQ(1u, ListFiles(shortTarget.Path()).size());
}

TEST(ArchiveCancellation, CancelAfterFirstFileReturnsSuccessWithTheWholeFilesWritten) {
    TempFolder target;
    const std::vector<std::uint8_t> archive = StandInPayload();
    RecordingCallback callback(1);
    LogCapture log;

    EXPECT_EQ(0, ExtractArchive(&callback, target.Path(), archive.data(), archive.size()));

    // The block's thread notices the cancellation within one poll of the caller's thread, so a
    // few more small files may follow the first; none is left half-written.
    const std::vector<std::wstring> written = ListFiles(target.Path());
    ASSERT_GE(written.size(), 1u);
    EXPECT_LT(written.size(), ListFiles(LayoutFolder()).size());
    size_t bytes = 0;
    for (const std::wstring& file : written) {
        const std::vector<std::uint8_t> content = ReadBytes(target.Path() + L"\\" + file);
        EXPECT_EQ(ReadBytes(LayoutFolder() + L"\\" + file), content);
        bytes += content.size();
    }
    EXPECT_TRUE(log.Contains(L"[m_nCompleteSize] = " + std::to_wstring(bytes) + L"\r\n"));
    EXPECT_TRUE(log.Contains(L"[TestLzma]:解压完成"));
}

TEST(ArchiveCancellation, CancelledBeforeStartWritesNothing) {
    TempFolder target;
    const std::vector<std::uint8_t> archive = StandInPayload();
    RecordingCallback callback(0);
    EXPECT_EQ(0, ExtractArchive(&callback, target.Path(), archive.data(), archive.size()));
    EXPECT_TRUE(ListFiles(target.Path()).empty());
}

}  // namespace
}  // namespace extract_test
