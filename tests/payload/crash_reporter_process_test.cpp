// The reporter protocol run for real: this process makes a crash information block of its own,
// starts "bugreport.exe" with the documented command line and inheritable handles, waits for the
// event and reads the report the reporter wrote into %TEMP%\Corvane.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "diag/crash_constants.h"
#include "diag/crash_info_block.h"
#include "diag/win_handle.h"
#include "payload/crash_report_text.h"
#include "test_files.h"

namespace {

constexpr DWORD kReporterTimeoutMs = 60000;

std::wstring FromUtf8(const std::vector<uint8_t>& bytes) {
    if (bytes.empty()) return std::wstring();
    const char* text = reinterpret_cast<const char*>(bytes.data());
    const int length = MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(bytes.size()), &wide[0], length);
    return wide;
}

std::string ToUtf8ForMessage(const std::wstring& text) {
    std::string utf8(text.size() * 3 + 1, '\0');
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &utf8[0],
                                           static_cast<int>(utf8.size()), nullptr, nullptr);
    utf8.resize(static_cast<size_t>(length > 0 ? length : 0));
    return utf8;
}

std::wstring OwnPath() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

std::wstring TempCorvaneFolder() {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    return std::wstring(temp) + L"Corvane\\";
}

std::wstring EvidenceLog() {
    wchar_t appData[MAX_PATH] = {};
    GetEnvironmentVariableW(L"APPDATA", appData, MAX_PATH);
    return std::wstring(appData) + L"\\CorvaneTest\\bugreport.log";
}

// A place in this program's code for the exception address.
__attribute__((noinline)) void CrashSite() { asm volatile(""); }

// A crash information block on the process heap, laid out like the crash monitor lays it out.
class OwnCrashBlock {
public:
    explicit OwnCrashBlock(const std::vector<std::wstring>& strings) {
        uint32_t size = sizeof(diag::CrashInfoBlock);
        for (const std::wstring& text : strings) size += static_cast<uint32_t>((text.size() + 1) * sizeof(wchar_t));
        m_bytes = static_cast<uint8_t*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size));
        diag::CrashInfoBlock& block = Header();
        block.totalSize = size;
        block.processId = GetCurrentProcessId();
        block.creatorThreadId = GetCurrentThreadId();
        block.languageId = 1033;
        block.creationValue = 100;
        block.versionMajor = 1;
        block.versionMinor = 14;
        uint32_t offset = sizeof(diag::CrashInfoBlock);
        for (size_t i = 0; i < strings.size(); ++i) {
            block.stringOffsets[i] = offset;
            std::memcpy(m_bytes + offset, strings[i].c_str(), (strings[i].size() + 1) * sizeof(wchar_t));
            offset += static_cast<uint32_t>((strings[i].size() + 1) * sizeof(wchar_t));
        }
    }
    ~OwnCrashBlock() { HeapFree(GetProcessHeap(), 0, m_bytes); }
    OwnCrashBlock(const OwnCrashBlock&) = delete;
    OwnCrashBlock& operator=(const OwnCrashBlock&) = delete;

    diag::CrashInfoBlock& Header() { return *reinterpret_cast<diag::CrashInfoBlock*>(m_bytes); }
    const void* Address() const { return m_bytes; }

    // Records an exception as the crash monitor does when this thread crashes.
    void RecordCrash(DWORD code, uintptr_t address, uint32_t tick) {
        diag::CrashInfoBlock& block = Header();
        block.crashThreadId = GetCurrentThreadId();
        block.crashTick = tick;
        block.exceptionRecord.ExceptionCode = code;
        block.exceptionRecord.ExceptionAddress = reinterpret_cast<void*>(address);
        block.context.ContextFlags = CONTEXT_FULL;
        RtlCaptureContext(&block.context);
    }

private:
    uint8_t* m_bytes = nullptr;
};

struct ReporterRun {
    bool eventSignalled = false;
    DWORD exitCode = 0xFFFFFFFF;
    std::wstring commandLine;
};

// Starts the reporter the way the crash monitor does and waits for the event or its end.
ReporterRun RunReporter(const void* block) {
    ReporterRun run;
    SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
    diag::ScopedHandle event(CreateEventW(&inheritable, TRUE, FALSE, nullptr));
    diag::ScopedHandle self;
    if (!event.IsValid() ||
        !DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), self.Receive(), 0, TRUE,
                         DUPLICATE_SAME_ACCESS)) {
        ADD_FAILURE() << "no inheritable handles";
        return run;
    }
    wchar_t commandLine[200] = {};
    swprintf(commandLine, 200, L"bugreport /buginfo:%p:%p:%p:%lu /extinfo:%p", event.Get(), self.Get(), block,
             GetCurrentProcessId(), static_cast<void*>(nullptr));
    run.commandLine = commandLine;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started = {};
    if (!CreateProcessW(CRASH_REPORTER_PATH, commandLine, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &started)) {
        ADD_FAILURE() << "reporter not started, error " << GetLastError();
        return run;
    }
    diag::ScopedHandle reporter(started.hProcess);
    diag::ScopedHandle thread(started.hThread);
    const HANDLE waitFor[] = {event.Get(), reporter.Get()};
    WaitForMultipleObjects(2, waitFor, FALSE, kReporterTimeoutMs);
    EXPECT_EQ(WaitForSingleObject(reporter.Get(), kReporterTimeoutMs), WAIT_OBJECT_0) << "reporter still runs";
    run.eventSignalled = WaitForSingleObject(event.Get(), 0) == WAIT_OBJECT_0;
    GetExitCodeProcess(reporter.Get(), &run.exitCode);
    return run;
}

class CrashReporterProcess : public ::testing::Test {
protected:
    void SetUp() override {
        diag_test::RemoveTree(TempCorvaneFolder());
        DeleteFileW(EvidenceLog().c_str());
    }

    std::wstring ReportOfThisProcess() {
        return FromUtf8(diag_test::ReadBytes(TempCorvaneFolder() + L"CrashReport_" +
                                             std::to_wstring(GetCurrentProcessId()) + L".txt"));
    }

    std::wstring Evidence() { return FromUtf8(diag_test::ReadBytes(EvidenceLog())); }

    const std::wstring m_self = OwnPath();
    const std::vector<std::wstring> m_strings = {L"PeloraSetup", L"映彩直播", m_self, L"extra words", m_self};
};

TEST_F(CrashReporterProcess, ReadsTheBlockWritesTheReportAndSignalsTheEvent) {
    OwnCrashBlock block(m_strings);
    const uintptr_t site = reinterpret_cast<uintptr_t>(&CrashSite);
    block.RecordCrash(EXCEPTION_ACCESS_VIOLATION, site, 0x1234ABCD);
    block.Header().exceptionRecord.NumberParameters = 2;
    block.Header().exceptionRecord.ExceptionInformation[0] = 1;
    block.Header().exceptionRecord.ExceptionInformation[1] = 0x10;
    block.Header().userNumber = 77;

    const ReporterRun run = RunReporter(block.Address());
    EXPECT_TRUE(run.eventSignalled);
    EXPECT_EQ(run.exitCode, 0u);

    const std::wstring report = ReportOfThisProcess();
    ASSERT_FALSE(report.empty()) << "no report; evidence: " << ToUtf8ForMessage(Evidence());
    EXPECT_NE(report.find(L"Exception: 0xC0000005 EXCEPTION_ACCESS_VIOLATION\r\n"), std::wstring::npos) << report;
    // The address is placed in this program's module, at the right offset.
    const size_t addressLine = report.find(L"Address: ");
    ASSERT_NE(addressLine, std::wstring::npos);
    const std::wstring addressText = report.substr(addressLine, report.find(L"\r\n", addressLine) - addressLine);
    EXPECT_NE(addressText.find(L"payload_tests.exe+0x"), std::wstring::npos) << addressText;
    const uintptr_t base = reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr));
    wchar_t offset[32] = {};
    swprintf(offset, 32, L"+0x%I64X", static_cast<unsigned long long>(site - base));
    EXPECT_NE(addressText.find(offset), std::wstring::npos) << addressText;
    EXPECT_NE(report.find(L"Access: Write address 0x"), std::wstring::npos);
    EXPECT_NE(report.find(L"Thread: " + std::to_wstring(GetCurrentThreadId())), std::wstring::npos);
    EXPECT_NE(report.find(L"User number: 77\r\n"), std::wstring::npos);
    EXPECT_NE(report.find(L"Product: PeloraSetup 映彩直播 1.14.0000\r\n"), std::wstring::npos) << report;
    EXPECT_NE(report.find(L"Display name: 映彩直播\r\n"), std::wstring::npos);
    EXPECT_NE(report.find(L"Extra text: extra words\r\n"), std::wstring::npos);
    EXPECT_NE(report.find(L"Running executable: " + m_self + L"\r\n"), std::wstring::npos);
    // The heap-walk files by the very paths the crashed program wrote them to.
    EXPECT_NE(report.find(L"\r\n" + TempCorvaneFolder() + L"payload_tests1234abcdHeapwalk_full.txt\r\n"),
              std::wstring::npos)
        << report;
    EXPECT_NE(report.find(L"\r\n" + TempCorvaneFolder() + L"payload_tests1234abcdHeapwalk_above30.txt\r\n"),
              std::wstring::npos);
    // The module list is the crashed process's, with versions where the files carry them.
    const size_t modules = report.find(L"\r\nModules:\r\n");
    ASSERT_NE(modules, std::wstring::npos);
    EXPECT_NE(report.find(m_self + L" [", modules), std::wstring::npos);
    const size_t kernel = report.find(L"kernel32.dll [", modules);
    ASSERT_NE(kernel, std::wstring::npos) << report;
    const wchar_t versionStart = report[kernel + std::wcslen(L"kernel32.dll [")];
    EXPECT_TRUE(versionStart >= L'0' && versionStart <= L'9') << report.substr(kernel, 60);

    const std::wstring evidence = Evidence();
    EXPECT_NE(evidence.find(L"cmdline=" + run.commandLine + L"\r\n"), std::wstring::npos) << evidence;
    EXPECT_NE(evidence.find(L"report=" + TempCorvaneFolder() + L"CrashReport_"), std::wstring::npos) << evidence;
}

TEST_F(CrashReporterProcess, AStackOverflowIsNamedWithTheSavedStack) {
    OwnCrashBlock block(m_strings);
    block.RecordCrash(EXCEPTION_STACK_OVERFLOW, reinterpret_cast<uintptr_t>(&CrashSite), 0);
    block.Header().savedStackBase = 0x30000;
    block.Header().savedStackLimit = 0x21000;

    const ReporterRun run = RunReporter(block.Address());
    EXPECT_TRUE(run.eventSignalled);
    const std::wstring report = ReportOfThisProcess();
    EXPECT_NE(report.find(L"Exception: 0xC00000FD EXCEPTION_STACK_OVERFLOW\r\n"), std::wstring::npos) << report;
    EXPECT_NE(report.find(L"Stack overflow, thread stack "), std::wstring::npos);
    // Without a crash tick the heap-walk files carry no number.
    EXPECT_NE(report.find(TempCorvaneFolder() + L"payload_testsHeapwalk_full.txt\r\n"), std::wstring::npos) << report;
}

TEST_F(CrashReporterProcess, AnUncaughtCppExceptionIsNamedWithWhatWasThrown) {
    OwnCrashBlock block(m_strings);
    const std::wstring thrown = L"std::runtime_error: 磁盘已满";
    block.RecordCrash(diag::kUncaughtCppExceptionCode, reinterpret_cast<uintptr_t>(&CrashSite), 1);
    EXCEPTION_RECORD& record = block.Header().exceptionRecord;
    record.NumberParameters = 2;
    record.ExceptionInformation[0] = reinterpret_cast<ULONG_PTR>(thrown.c_str());
    record.ExceptionInformation[1] = thrown.size();

    const ReporterRun run = RunReporter(block.Address());
    EXPECT_TRUE(run.eventSignalled);
    const std::wstring report = ReportOfThisProcess();
    EXPECT_NE(report.find(L"\r\nException: 0xE0504C01 uncaught C++ exception\r\nThrown: " + thrown + L"\r\n"),
              std::wstring::npos)
        << ToUtf8ForMessage(report);
}

// The text behind the record is the crashed program's word: one longer than it ever writes, or
// one that cannot be read, is left out, and the report is made all the same.
TEST_F(CrashReporterProcess, AThrownTextThatCannotBeBelievedIsLeftOut) {
    const std::wstring tooLong(diag::kCrashDetailChars, L'x');
    void* unreadable = VirtualAlloc(nullptr, 65536, MEM_RESERVE, PAGE_NOACCESS);
    ASSERT_NE(unreadable, nullptr);
    const struct {
        const void* address;
        size_t length;
    } texts[] = {{tooLong.c_str(), tooLong.size()}, {unreadable, 10}};
    for (const auto& text : texts) {
        OwnCrashBlock block(m_strings);
        block.RecordCrash(diag::kUncaughtCppExceptionCode, reinterpret_cast<uintptr_t>(&CrashSite), 1);
        EXCEPTION_RECORD& record = block.Header().exceptionRecord;
        record.NumberParameters = 2;
        record.ExceptionInformation[0] = reinterpret_cast<ULONG_PTR>(text.address);
        record.ExceptionInformation[1] = text.length;
        const ReporterRun run = RunReporter(block.Address());
        EXPECT_TRUE(run.eventSignalled);
        const std::wstring report = ReportOfThisProcess();
        EXPECT_NE(report.find(L"Exception: 0xE0504C01 uncaught C++ exception\r\n"), std::wstring::npos)
            << ToUtf8ForMessage(report);
        EXPECT_EQ(report.find(L"Thrown: "), std::wstring::npos) << ToUtf8ForMessage(report);
    }
    VirtualFree(unreadable, 0, MEM_RELEASE);
}

TEST_F(CrashReporterProcess, LongStringsReachTheReportWhole) {
    const std::wstring longName(5000, L'长');
    OwnCrashBlock block({L"PeloraSetup", longName, m_self, std::wstring(3000, L'x'), m_self});
    block.RecordCrash(EXCEPTION_INT_DIVIDE_BY_ZERO, reinterpret_cast<uintptr_t>(&CrashSite), 1);
    const ReporterRun run = RunReporter(block.Address());
    EXPECT_TRUE(run.eventSignalled);
    const std::wstring report = ReportOfThisProcess();
    EXPECT_NE(report.find(L"Exception: 0xC0000094 EXCEPTION_INT_DIVIDE_BY_ZERO\r\n"), std::wstring::npos);
    EXPECT_NE(report.find(L"Product: PeloraSetup " + longName + L" 1.14.0000\r\n"), std::wstring::npos);
    EXPECT_NE(report.find(L"Extra text: " + std::wstring(3000, L'x') + L"\r\n"), std::wstring::npos);
}

// A block that cannot be believed is not reported, and the event stays unsignalled so that the
// crashed program shows its own message box.
TEST_F(CrashReporterProcess, ABlockThatCannotBeBelievedLeavesTheEventUnsignalled) {
    {
        OwnCrashBlock block(m_strings);
        block.RecordCrash(EXCEPTION_ACCESS_VIOLATION, 0, 0);
        block.Header().totalSize = 0x7FFFFFF0;
        const ReporterRun run = RunReporter(block.Address());
        EXPECT_FALSE(run.eventSignalled);
        EXPECT_EQ(run.exitCode, 3u);
    }
    {
        OwnCrashBlock block(m_strings);
        block.RecordCrash(EXCEPTION_ACCESS_VIOLATION, 0, 0);
        block.Header().stringOffsets[2] = block.Header().totalSize + 100;
        const ReporterRun run = RunReporter(block.Address());
        EXPECT_FALSE(run.eventSignalled);
        EXPECT_EQ(run.exitCode, 3u);
    }
    {
        // The last string loses its terminator: its offset points at the block's final character.
        OwnCrashBlock block({L"a", L"b", L"c", L"d", L"e"});
        block.Header().stringOffsets[4] = block.Header().totalSize - 2;
        reinterpret_cast<wchar_t*>(reinterpret_cast<uint8_t*>(&block.Header()) + block.Header().totalSize)[-1] = L'x';
        const ReporterRun run = RunReporter(block.Address());
        EXPECT_FALSE(run.eventSignalled);
        EXPECT_EQ(run.exitCode, 3u);
    }
    EXPECT_FALSE(diag_test::Exists(TempCorvaneFolder() + L"CrashReport_" + std::to_wstring(GetCurrentProcessId()) +
                                   L".txt"));
    const std::wstring evidence = Evidence();
    EXPECT_NE(evidence.find(L"error=block size implausible\r\n"), std::wstring::npos) << evidence;
    EXPECT_NE(evidence.find(L"error=block string outside the block\r\n"), std::wstring::npos) << evidence;
}

TEST_F(CrashReporterProcess, AnUnreadableBlockAddressLeavesTheEventUnsignalled) {
    // Address space reserved and never committed. Windows refuses to read it; Wine reads zeros
    // there, which the reporter refuses as a block of size 0. Either way nothing is reported.
    void* reserved = VirtualAlloc(nullptr, 65536, MEM_RESERVE, PAGE_NOACCESS);
    ASSERT_NE(reserved, nullptr);
    const ReporterRun run = RunReporter(reserved);
    VirtualFree(reserved, 0, MEM_RELEASE);
    EXPECT_FALSE(run.eventSignalled);
    EXPECT_EQ(run.exitCode, 3u);
    const std::wstring evidence = Evidence();
    EXPECT_TRUE(evidence.find(L"error=block unreadable\r\n") != std::wstring::npos ||
                evidence.find(L"error=block size implausible\r\n") != std::wstring::npos)
        << ToUtf8ForMessage(evidence);
}

TEST_F(CrashReporterProcess, AMalformedCommandLineIsRefusedWithoutTouchingAnyHandle) {
    std::wstring commandLine = L"bugreport /buginfo:zz:1:2:3 /extinfo:0";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started = {};
    ASSERT_TRUE(CreateProcessW(CRASH_REPORTER_PATH, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &started));
    diag::ScopedHandle reporter(started.hProcess);
    diag::ScopedHandle thread(started.hThread);
    ASSERT_EQ(WaitForSingleObject(reporter.Get(), kReporterTimeoutMs), WAIT_OBJECT_0);
    DWORD exitCode = 0;
    GetExitCodeProcess(reporter.Get(), &exitCode);
    EXPECT_EQ(exitCode, 2u);
    const std::wstring evidence = Evidence();
    EXPECT_NE(evidence.find(L"cmdline=" + commandLine + L"\r\n"), std::wstring::npos) << ToUtf8ForMessage(evidence);
    EXPECT_NE(evidence.find(L"error=command line not understood\r\n"), std::wstring::npos);
}

TEST(HeapWalkFileNames, AreTheNamesTheCrashedProgramWroteWithAndWithoutTick) {
    const auto withTick = reporter::HeapWalkFileNames(L"C:\\t\\Corvane\\", L"C:\\a.b\\PeloraSetup.exe", 0xBEEF);
    EXPECT_EQ(withTick.full, L"C:\\t\\Corvane\\PeloraSetupbeefHeapwalk_full.txt");
    EXPECT_EQ(withTick.above30, L"C:\\t\\Corvane\\PeloraSetupbeefHeapwalk_above30.txt");
    const auto withoutTick = reporter::HeapWalkFileNames(L"C:\\t\\Corvane\\", L"C:\\a.b\\Setup", 0);
    EXPECT_EQ(withoutTick.full, L"C:\\t\\Corvane\\SetupHeapwalk_full.txt");
    EXPECT_EQ(withoutTick.above30, L"C:\\t\\Corvane\\SetupHeapwalk_above30.txt");
}

}  // namespace
