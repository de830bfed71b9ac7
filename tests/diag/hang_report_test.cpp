// The report the hang watchdog composes, for the exceptions it may carry: the type line names
// the code or prints it as a number, and an access violation says what was read or written.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "diag/hang_report.h"

namespace {

class HangReportText : public ::testing::Test {
protected:
    HangReportText() : m_bytes(sizeof(diag::CrashInfoBlock) + 64, 0) {
        diag::CrashInfoBlock& block = Block();
        block.totalSize = static_cast<uint32_t>(m_bytes.size());
        block.creatorThreadId = 11;
        block.versionMajor = 1;
        block.versionMinor = 14;
        block.versionBuild = 301;
        const wchar_t strings[] = L"Code\0Name\0\0\0";
        std::memcpy(m_bytes.data() + sizeof(diag::CrashInfoBlock), strings, sizeof(strings));
        const uint32_t base = sizeof(diag::CrashInfoBlock);
        const uint32_t offsets[] = {base, base + 10, base + 20, base + 20, base + 20};
        std::memcpy(block.stringOffsets, offsets, sizeof(offsets));
        m_snapshot.threadId = 22;
    }

    diag::CrashInfoBlock& Block() { return *reinterpret_cast<diag::CrashInfoBlock*>(m_bytes.data()); }
    std::wstring Compose() { return diag::ComposeHangReport(Block(), m_snapshot, {}); }

    std::vector<uint8_t> m_bytes;
    diag::HangSnapshot m_snapshot;
};

TEST_F(HangReportText, AnAccessViolationSaysWhetherItReadOrWrote) {
    m_snapshot.record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
    m_snapshot.record.NumberParameters = 2;
    m_snapshot.record.ExceptionInformation[1] = 0x1234;
    const std::wstring read = Compose();
    EXPECT_NE(read.find(L"\r\nType: EXCEPTION_ACCESS_VIOLATION\r\n"), std::wstring::npos) << read;
    EXPECT_NE(read.find(L"\r\nError: Read address 0x00001234\r\n"), std::wstring::npos) << read;
    m_snapshot.record.ExceptionInformation[0] = 1;
    EXPECT_NE(Compose().find(L"\r\nError: Write address 0x00001234\r\n"), std::wstring::npos);
}

TEST_F(HangReportText, AnUnnamedCodeIsPrintedAsANumberAndTheHeaderCarriesTheProduct) {
    m_snapshot.record.ExceptionCode = 0xE0434352;
    m_snapshot.cpuPercent = 42;
    const std::wstring report = Compose();
    EXPECT_NE(report.find(sizeof(void*) == 8 ? L"\r\nType: 00000000E0434352\r\n" : L"\r\nType: E0434352\r\n"),
              std::wstring::npos)
        << report;
    EXPECT_NE(report.find(L"\r\nCode Name  1.14.0301\r\n"), std::wstring::npos) << report;
    EXPECT_NE(report.find(L"CpuTime: ui64CPU[42%]\r\n"), std::wstring::npos) << report;
    // Code bytes that could not be read are not made up.
    EXPECT_NE(report.find(L"Bytes at CS:EIP: ??\r\n"), std::wstring::npos) << report;
    EXPECT_NE(report.find(L"pid=" + std::to_wstring(GetCurrentProcessId()) + L" init_tid=11 crashtid=22\r\n"),
              std::wstring::npos)
        << report;
}

}  // namespace
