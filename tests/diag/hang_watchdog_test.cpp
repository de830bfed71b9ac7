// The hang watchdog behind CVBugMonitor::Start, Stop and Activate: the switch that turns it on,
// what it does without it, and (in the probe program, whose command line carries "/ldd") a
// thread that stops giving signs of life next to one that keeps giving them.
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <map>
#include <string>

#include "diag/hang_watchdog.h"
#include "diag/win_handle.h"
#include "test_files.h"

namespace {

int ThreadsOfThisProcess() {
    diag::ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    int count = 0;
    for (BOOL more = Thread32First(snapshot.Get(), &entry); more; more = Thread32Next(snapshot.Get(), &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    return count;
}

TEST(HangWatchdogSwitch, OnlyAnArgumentBeginningWithLddTurnsItOn) {
    EXPECT_TRUE(diag::HasWatchdogSwitch({L"/mode:noui", L"/ldd"}));
    EXPECT_TRUE(diag::HasWatchdogSwitch({L"/lddanything"}));
    EXPECT_FALSE(diag::HasWatchdogSwitch({}));
    EXPECT_FALSE(diag::HasWatchdogSwitch({L"/ld", L"ldd", L"x/ldd", L"/LDD"}));
}

TEST(HangWatchdogCheck, OnlyASilenceLongerThanTheLimitIsAHang) {
    constexpr uint32_t kLimit = 4000;
    EXPECT_FALSE(diag::IsHangOverdue(50000, 50000 - kLimit, kLimit));
    EXPECT_TRUE(diag::IsHangOverdue(50000, 50000 - kLimit - 1, kLimit));
    EXPECT_FALSE(diag::IsHangOverdue(50000, 0, kLimit)) << "no sign of life yet";
    // The watched thread called Activate after the watchdog had read the clock.
    EXPECT_FALSE(diag::IsHangOverdue(50000, 50001, kLimit));
    EXPECT_FALSE(diag::IsHangOverdue(50000, 50000 + kLimit + 1, kLimit));
    // The tick count wraps after 49.7 days: a sign of life just before the wrap is recent.
    EXPECT_FALSE(diag::IsHangOverdue(100, 0xFFFFFF00u, kLimit));
    EXPECT_TRUE(diag::IsHangOverdue(100, 100u - kLimit - 1, kLimit));
    EXPECT_FALSE(diag::IsHangOverdue(0xFFFFFF00u, 100, kLimit)) << "a sign of life just after the wrap";
}

TEST(HangWatchdog, WithoutTheSwitchStartStartsNothingAndStopHasNothingToStop) {
    const int threadsBefore = ThreadsOfThisProcess();
    EXPECT_EQ(diag::StartHangWatchdog(), 0);
    EXPECT_EQ(diag::StartHangWatchdog(), 0);
    Sleep(100);
    EXPECT_EQ(ThreadsOfThisProcess(), threadsBefore);
    EXPECT_EQ(diag::StopHangWatchdog(), 0);
    diag::ActivateHangWatchdog();
    EXPECT_EQ(diag::ReportedHangCount(), 0);
}

TEST(HangWatchdog, TheSetupProgramExportsTheThreeFunctionsByName) {
    HMODULE setup = LoadLibraryExW(PELORA_SETUP_PATH, nullptr, DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(setup, nullptr) << GetLastError();
    for (const char* name : {"CVBugMonitor::Start", "CVBugMonitor::Stop", "CVBugMonitor::Activate"})
        EXPECT_NE(GetProcAddress(setup, name), nullptr) << name;
    FreeLibrary(setup);
}

// Runs two probes side by side (each takes about 20 seconds) and reads what they saw.
class HangWatchdogProbes : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_folder = new diag_test::ScratchFolder();
        const std::wstring probe = L"\"" + diag_test::ExecutableFolder() + L"\\hang_watchdog_probe.exe\" ";
        struct Run {
            const wchar_t* mode;
            std::wstring resultFile;
            PROCESS_INFORMATION process;
        } runs[] = {{L"hung", *s_folder / L"hung.txt", {}}, {L"alive", *s_folder / L"alive.txt", {}}};
        for (Run& run : runs) {
            std::wstring commandLine = probe + run.mode + L" \"" + run.resultFile + L"\" /ldd";
            STARTUPINFOW startup = {};
            startup.cb = sizeof(startup);
            if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                &run.process))
                run.process = {};
        }
        for (Run& run : runs) {
            if (run.process.hProcess == nullptr) continue;
            diag::ScopedHandle process(run.process.hProcess);
            diag::ScopedHandle thread(run.process.hThread);
            WaitForSingleObject(process.Get(), 90000);
        }
        s_hungLog = diag_test::ReadUtf16(runs[0].resultFile + L".log");
        s_hung = Parse(diag_test::ReadBytes(runs[0].resultFile));
        s_alive = Parse(diag_test::ReadBytes(runs[1].resultFile));
    }
    static void TearDownTestSuite() {
        delete s_folder;
        s_folder = nullptr;
    }

    // "key=value" lines; "report" takes the rest of the text.
    static std::map<std::string, std::string> Parse(const std::vector<uint8_t>& bytes) {
        std::map<std::string, std::string> values;
        const std::string text(bytes.begin(), bytes.end());
        size_t start = 0;
        while (start < text.size()) {
            const size_t equals = text.find('=', start);
            if (equals == std::string::npos) break;
            const std::string key = text.substr(start, equals - start);
            if (key == "report") {
                values[key] = text.substr(equals + 1);
                break;
            }
            const size_t end = text.find('\n', equals);
            values[key] = text.substr(equals + 1, end - equals - 1);
            if (end == std::string::npos) break;
            start = end + 1;
        }
        return values;
    }

    static diag_test::ScratchFolder* s_folder;
    static std::map<std::string, std::string> s_hung;
    static std::map<std::string, std::string> s_alive;
    static std::wstring s_hungLog;
};

diag_test::ScratchFolder* HangWatchdogProbes::s_folder = nullptr;
std::map<std::string, std::string> HangWatchdogProbes::s_hung;
std::map<std::string, std::string> HangWatchdogProbes::s_alive;
std::wstring HangWatchdogProbes::s_hungLog;

TEST_F(HangWatchdogProbes, WithTheSwitchStartStartsOnceAndStopStopsOnce) {
    for (auto* values : {&s_hung, &s_alive}) {
        ASSERT_FALSE(values->empty()) << "the probe left no result";
        EXPECT_EQ((*values)["start"], "1");
        EXPECT_EQ((*values)["second_start"], "0");
        EXPECT_EQ((*values)["stop"], "1");
        EXPECT_EQ((*values)["second_stop"], "0");
    }
}

TEST_F(HangWatchdogProbes, ASilentThreadIsReportedHungThreeTimesAtMost) {
    ASSERT_FALSE(s_hung.empty());
    // Hangs at about 5, 10 and 15 seconds; a fourth would have come at 20 of the 23.
    EXPECT_EQ(s_hung["hangs"], "3");
    EXPECT_EQ(s_hung["block_code"], std::to_string(0xC00000FFu));
    EXPECT_EQ(s_hung["block_tid"], s_hung["main_tid"]);
    EXPECT_EQ(s_hung["block_has_context"], "1");
    // Each hang leaves its install-log line.
    const std::wstring thread(s_hung["main_tid"].begin(), s_hung["main_tid"].end());
    EXPECT_NE(s_hungLog.find(L"hang watchdog started for thread " + thread + L"\r\n"), std::wstring::npos);
    for (const wchar_t* count : {L", hang 1 of 3\r\n", L", hang 2 of 3\r\n", L", hang 3 of 3\r\n"})
        EXPECT_NE(s_hungLog.find(count), std::wstring::npos) << s_hung["main_tid"] << " " << count;
    EXPECT_NE(s_hungLog.find(L"hang watchdog: thread " + thread + L" hung at "), std::wstring::npos);
    EXPECT_EQ(s_hungLog.find(L"hang 4 of"), std::wstring::npos);
}

TEST_F(HangWatchdogProbes, TheHangReportNamesTheHangTheThreadAndTheModules) {
    const std::string& report = s_hung["report"];
    ASSERT_FALSE(report.empty());
    const std::string code = sizeof(void*) == 8 ? "00000000C00000FF" : "C00000FF";
    EXPECT_NE(report.find("\r\nType: " + code + "\r\n"), std::string::npos) << report;
    EXPECT_NE(report.find("\r\nError: logic dead\r\nCpuTime: ui64CPU["), std::string::npos) << report;
    EXPECT_NE(report.find("PeloraSetup 映彩直播  1.14.0000\r\n"), std::string::npos) << report;
    EXPECT_NE(report.find("[Build "), std::string::npos);
    EXPECT_NE(report.find("\r\nBytes at CS:EIP: "), std::string::npos);
    EXPECT_NE(report.find("pid="), std::string::npos);
    EXPECT_NE(report.find("crashtid=" + s_hung["main_tid"] + "\r\n"), std::string::npos) << report;
    // The sleeping main thread was called from the probe's own code, and the probe is listed.
    const size_t callStack = report.find("\r\nCallStack:\r\n0x");
    const size_t registers = report.find("\r\nRegs:\r\nEAX=");
    ASSERT_NE(callStack, std::string::npos) << report;
    ASSERT_NE(registers, std::string::npos) << report;
    EXPECT_NE(report.substr(callStack, registers - callStack).find("hang_watchdog_probe.exe: ("), std::string::npos)
        << report;
    const size_t modules = report.find("\r\nModules:\r\n[");
    ASSERT_NE(modules, std::string::npos);
    EXPECT_NE(report.find("hang_watchdog_probe.exe [", modules), std::string::npos);
    EXPECT_NE(report.find("kernel32.dll [", modules), std::string::npos);
}

TEST_F(HangWatchdogProbes, AThreadThatCallsActivateEverySecondIsNeverReportedHung) {
    ASSERT_FALSE(s_alive.empty());
    // A hang while the thread gave signs of life every second is a false report, unless the
    // whole process stalled for longer than the limit between two of them.
    const int whileActive = std::stoi(s_alive["hangs_while_active"]);
    if (whileActive != 0) {
        EXPECT_GT(std::stoul(s_alive["longest_gap_ms"]), 4000u) << "a false hang report";
    }
    // The same watchdog did watch: once the thread fell silent it was reported.
    EXPECT_EQ(std::stoi(s_alive["hangs"]), whileActive + 1);
}

}  // namespace
