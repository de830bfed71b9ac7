// ExtractPayload, ExtractResource and ExtractHelperDll over the archives embedded in this test
// program, with the retry wait, the free space and the Windows version replaced.
#include <gtest/gtest.h>

#include "diag/windows_version.h"
#include "extract/extract_seams.h"
#include "extract/payload_extractor.h"
#include "extract_test_support.h"

namespace extract_test {
namespace {

std::vector<DWORD> g_waits;
std::uint64_t g_freeBytes = 0;
bool g_freeSpaceKnown = true;

void RecordWait(DWORD milliseconds, IExtractProgressCallback*) { g_waits.push_back(milliseconds); }
bool FakeFreeSpace(const wchar_t* root, std::uint64_t* freeBytes) {
    if (std::wstring(root) != L"C:\\") return false;  // only drive C: decides
    *freeBytes = g_freeBytes;
    return g_freeSpaceKnown;
}

class PayloadExtraction : public testing::Test {
protected:
    void SetUp() override {
        g_waits.clear();
        g_freeBytes = 0;
        g_freeSpaceKnown = true;
        extract::SetRetryWaitForTesting(RecordWait);
        extract::SetFreeSpaceForTesting(FakeFreeSpace);
    }
    void TearDown() override {
        extract::SetRetryWaitForTesting(nullptr);
        extract::SetFreeSpaceForTesting(nullptr);
    }
    bool Extract(int id, bool* diskLow, IExtractProgressCallback* callback = nullptr) {
        return ExtractPayload(L"MSI", id, GetModuleHandleW(nullptr), m_staging.Path(), diskLow,
                              callback);
    }
    std::wstring Bin() const { return m_staging.Path() + L"\\program files\\Corvane\\Pelora\\Bin\\"; }

    TempFolder m_staging;
};

TEST_F(PayloadExtraction, SucceedsAndCopiesTheRuntimeNextToTheBinaries) {
    LogCapture log;
    bool diskLow = true;  // must stay untouched on success
    RecordingCallback callback;

    ASSERT_TRUE(Extract(kStandInPayloadId, &diskLow, &callback));

    EXPECT_TRUE(diskLow);
    EXPECT_TRUE(g_waits.empty());
    for (const wchar_t* file : {L"Microsoft.VC80.CRT.manifest", L"msvcm80.dll", L"msvcp80.dll",
                                L"msvcr80.dll", L"Microsoft.VC80.ATL.manifest", L"ATL80.dll"})
        EXPECT_TRUE(Exists(Bin() + file)) << "not copied";
    EXPECT_TRUE(Exists(m_staging.Path() + L"\\CVSSO\\InstCVSSO.exe"));
    EXPECT_TRUE(log.Contains(L"解压SetupFille, size:"));
    EXPECT_TRUE(log.Contains(L"ret = 0 \r\n"));
    EXPECT_TRUE(log.Contains(L"[日志]ExtractSetupFile 成功,time = "));
    EXPECT_TRUE(log.Contains(L"[日志]Setup.7z解压成功 DoExtract = "));
    EXPECT_FALSE(log.Contains(L"解压失败"));
    EXPECT_FALSE(callback.m_reports.empty());
}

TEST_F(PayloadExtraction, SecondRunOverwritesTheFirst) {
    bool diskLow = false;
    ASSERT_TRUE(Extract(kStandInPayloadId, &diskLow));
    ASSERT_TRUE(Extract(kStandInPayloadId, &diskLow));
    EXPECT_EQ(ReadBytes(LayoutFolder() + L"\\program files\\Corvane\\Pelora\\Bin\\PL.exe"),
              ReadBytes(Bin() + L"PL.exe"));
}

TEST_F(PayloadExtraction, BrokenArchiveIsTriedFourTimesOneSecondApart) {
    LogCapture log;
    g_freeBytes = 0x10000000;
    bool diskLow = true;

    EXPECT_FALSE(Extract(kCrcFlipId, &diskLow));

    const std::wstring text = log.Text();
    size_t previous = 0;
    for (int remaining : {4, 3, 2, 1}) {
        const size_t at = text.find(L"[日志]Setup.7z解压失败,还剩" + std::to_wstring(remaining) + L"次\r\n");
        ASSERT_NE(std::wstring::npos, at) << remaining;
        EXPECT_GE(at, previous);
        previous = at;
    }
    EXPECT_EQ(4, log.Count(L"[TestLzma]:CRC error"));
    EXPECT_EQ(4, log.Count(L"ret = 1 \r\n"));
    EXPECT_EQ(std::vector<DWORD>(4, 1000), g_waits);
    EXPECT_TRUE(log.Contains(L"[日志]Setup.7z解压真的失败了"));
    EXPECT_FALSE(log.Contains(L"[日志]Setup.7z解压真的失败了\r\n"));
    EXPECT_FALSE(diskLow);
}

TEST_F(PayloadExtraction, MissingResourceCountsAsAFailedAttempt) {
    LogCapture log;
    bool diskLow = false;
    EXPECT_FALSE(Extract(kMissingId, &diskLow));
    EXPECT_EQ(4, log.Count(L"解压SetupFille, size:0 lpResLock:0 \r\n"));
    EXPECT_EQ(4u, g_waits.size());
}

TEST_F(PayloadExtraction, DiskLowBoundaryIsNinetyMebibytesOnDriveC) {
    bool diskLow = true;
    g_freeBytes = 0x5A00000;
    EXPECT_FALSE(Extract(kCrcFlipId, &diskLow));
    EXPECT_FALSE(diskLow);

    g_freeBytes = 0x5A00000 - 1;
    EXPECT_FALSE(Extract(kCrcFlipId, &diskLow));
    EXPECT_TRUE(diskLow);

    g_freeBytes = 0x100000000ULL;  // above 4 GiB: the 64-bit count matters
    EXPECT_FALSE(Extract(kCrcFlipId, &diskLow));
    EXPECT_FALSE(diskLow);

    g_freeSpaceKnown = false;
    EXPECT_FALSE(Extract(kCrcFlipId, &diskLow));
    EXPECT_TRUE(diskLow);
}

TEST_F(PayloadExtraction, MissingMsvcm80StopsTheCrtChainRunsAtlAndFailsAtOnce) {
    LogCapture log;
    g_freeBytes = 0x5A00000 - 1;
    bool diskLow = false;

    EXPECT_FALSE(Extract(kNoMsvcm80Id, &diskLow));

    EXPECT_TRUE(diskLow);
    EXPECT_TRUE(g_waits.empty());
    EXPECT_EQ(1, log.Count(L"ret = 0 \r\n"));  // no further attempt
    EXPECT_TRUE(Exists(Bin() + L"Microsoft.VC80.CRT.manifest"));
    EXPECT_FALSE(Exists(Bin() + L"msvcm80.dll"));
    EXPECT_FALSE(Exists(Bin() + L"msvcp80.dll"));
    EXPECT_FALSE(Exists(Bin() + L"msvcr80.dll"));
    EXPECT_TRUE(Exists(Bin() + L"Microsoft.VC80.ATL.manifest"));
    EXPECT_TRUE(Exists(Bin() + L"ATL80.dll"));

    const std::wstring crt = m_staging.Path() + L"\\SysDir\\Microsoft.VC80.CRT\\";
    const std::wstring atl = m_staging.Path() + L"\\SysDir\\Microsoft.VC80.ATL\\";
    const std::wstring text = log.Text();
    size_t previous = 0;
    for (const std::wstring& line :
         {L"[日志] [CopyTempSysDirToTempBin] About to CopyFileW(" + crt + L"Microsoft.VC80.CRT.manifest, " + Bin() + L"Microsoft.VC80.CRT.manifest, FALSE)\r\n",
          L"[日志] [CopyTempSysDirToTempBin] About to CopyFileW(" + crt + L"msvcm80.dll, " + Bin() + L"msvcm80.dll, FALSE)\r\n",
          L"[日志] [CopyTempSysDirToTempBin] About to CopyFileW(" + crt + L"msvcp80.dll, " + Bin() + L"msvcp80.dll, FALSE)\r\n",
          L"[日志] [CopyTempSysDirToTempBin] About to CopyFileW(" + crt + L"msvcr80.dll, " + Bin() + L"msvcr80.dll, FALSE)\r\n",
          L"[日志] [CopyTempSysDirToTempBin] About to CopyFileW(" + atl + L"Microsoft.VC80.ATL.manifest, " + Bin() + L"Microsoft.VC80.ATL.manifest, FALSE)\r\n",
          L"[日志] [CopyTempSysDirToTempBin] About to CopyFileW(" + atl + L"ATL80.dll, " + Bin() + L"ATL80.dll, FALSE)\r\n",
          std::wstring(L"[日志]Setup.7z解压真的失败了")}) {
        const size_t at = text.find(line, previous);
        ASSERT_NE(std::wstring::npos, at) << "missing or out of order";
        previous = at;
    }
    EXPECT_FALSE(log.Contains(L"DoExtract"));
}

// A run that is being stopped: the extraction has no one left to use it.
class CancelledRun : public PayloadExtraction {};

// Reports the run cancelled once `afterMs` have passed since it was made.
class CancelLater : public IExtractProgressCallback {
public:
    explicit CancelLater(DWORD afterMs) : m_nAfterMs(afterMs) {}
    void OnProgress(std::uint32_t, std::uint32_t) override {}
    bool IsCancelled() override { return GetTickCount() - m_nStart >= m_nAfterMs; }

private:
    DWORD m_nStart = GetTickCount();
    DWORD m_nAfterMs;
};

TEST_F(CancelledRun, APartlyStagedPayloadIsNeitherUsedNorExtractedAgain) {
    LogCapture log;
    bool diskLow = true;
    RecordingCallback callback(1);  // cancelled after the first file

    EXPECT_FALSE(Extract(kStandInPayloadId, &diskLow, &callback));

    EXPECT_TRUE(diskLow) << "a cancelled run is no disk failure: the flag stays as it was";
    EXPECT_EQ(1, log.Count(L"解压SetupFille, size:"));
    EXPECT_TRUE(g_waits.empty());
    EXPECT_FALSE(log.Contains(L"ExtractSetupFile 成功"));
    EXPECT_FALSE(log.Contains(L"CopyTempSysDirToTempBin"));
    EXPECT_FALSE(log.Contains(L"[日志]Setup.7z解压真的失败了"));
    EXPECT_TRUE(log.Contains(L"[setup]payload extraction cancelled\n"));
}

TEST_F(CancelledRun, APauseBetweenAttemptsEndsWithinItsPoll) {
    extract::SetRetryWaitForTesting(nullptr);  // the real one-second pauses
    LogCapture log;
    bool diskLow = false;
    CancelLater callback(300);

    const DWORD start = GetTickCount();
    EXPECT_FALSE(Extract(kMissingId, &diskLow, &callback));
    const DWORD elapsed = GetTickCount() - start;

    // The first attempt fails at once; the cancellation comes during the pause after it.
    EXPECT_LT(elapsed, 700u) << "the pause was slept through";
    EXPECT_EQ(1, log.Count(L"[日志]Setup.7z解压失败,还剩4次\r\n"));
    EXPECT_EQ(1, log.Count(L"解压SetupFille, size:0 lpResLock:0 \r\n")) << "no attempt after the cancellation";
    EXPECT_FALSE(log.Contains(L"[日志]Setup.7z解压真的失败了"));
}

TEST(RuntimeCopy, FailsWhenTheBinFolderIsMissing) {
    TempFolder staging;
    ASSERT_TRUE(EnsureFolder(staging.Path() + L"\\SysDir\\Microsoft.VC80.CRT"));
    EXPECT_FALSE(CopyTempSysDirToTempBin(staging.Path()));
}

class HelperDll : public testing::Test {
protected:
    void SetUp() override {
        OverrideOsVersionCode(0x600);
        wchar_t folder[MAX_PATH] = {};
        GetSystemDirectoryW(folder, MAX_PATH);
        m_systemHelper = std::wstring(folder) + L"\\MivoVistaHelper.dll";
        GetCurrentDirectoryW(MAX_PATH, folder);
        m_currentHelper = std::wstring(folder) + L"\\MivoVistaHelper.dll";
        RemoveHelpers();
    }
    void TearDown() override {
        RemoveHelpers();
        OverrideOsVersionCode(0);
    }
    void RemoveHelpers() {
        for (const std::wstring& path : {m_systemHelper, m_currentHelper}) {
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(path.c_str());
        }
    }
    std::wstring m_systemHelper;
    std::wstring m_currentHelper;
};

TEST_F(HelperDll, FromVistaOnIsExtractedIntoTheSystemFolder) {
    OverrideOsVersionCode(0x600);
    LogCapture log;
    EXPECT_TRUE(ExtractHelperDll(GetModuleHandleW(nullptr), L"MSI", kHelperId));
    EXPECT_TRUE(Exists(m_systemHelper));
    EXPECT_FALSE(Exists(m_currentHelper));
    EXPECT_EQ(ReadBytes(PELORA_EXTRACT_TEST_HELPER_DLL), ReadBytes(m_systemHelper));
    EXPECT_TRUE(log.Contains(L"解压MivoVistaHelper.dll, size:"));
    EXPECT_FALSE(log.Contains(L"ret = "));
}

TEST_F(HelperDll, BeforeVistaNothingIsTouched) {
    OverrideOsVersionCode(0x501);
    LogCapture log;
    EXPECT_TRUE(ExtractHelperDll(GetModuleHandleW(nullptr), L"MSI", kHelperId));
    EXPECT_FALSE(Exists(m_systemHelper));
    EXPECT_FALSE(Exists(m_currentHelper));
    EXPECT_EQ(L"", log.Text());
}

TEST_F(HelperDll, ACopyAlreadyInTheSystemFolderIsAccepted) {
    OverrideOsVersionCode(0x600);
    ASSERT_TRUE(ExtractHelperDll(GetModuleHandleW(nullptr), L"MSI", kHelperId));
    EXPECT_TRUE(ExtractHelperDll(GetModuleHandleW(nullptr), L"MSI", kMissingId));
    EXPECT_FALSE(Exists(m_currentHelper));
}

TEST_F(HelperDll, WithoutResourceOrCopyItFailsAndSaysSo) {
    OverrideOsVersionCode(0x600);
    LogCapture log;
    EXPECT_FALSE(ExtractHelperDll(GetModuleHandleW(nullptr), L"MSI", kMissingId));
    EXPECT_TRUE(log.Contains(L"ExtractVTVistaHelper 失败 \r\n"));
    EXPECT_EQ(2, log.Count(L"size:0 lpResLock:0 \r\n"));
}

}  // namespace
}  // namespace extract_test
