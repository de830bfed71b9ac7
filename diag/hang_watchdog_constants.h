#pragma once

#include <cstdint>

// The hang watchdog behind the exports CVBugMonitor::Start, Stop and Activate: its switch, its
// periods and the texts of the hang report it composes.
namespace diag {

// The switch that turns the watchdog on; only its first four characters are compared.
constexpr const wchar_t kWatchdogSwitch[] = L"/ldd";
constexpr unsigned kWatchdogSwitchLength = 4;

constexpr uint32_t kWatchdogPeriodMs = 1000;      // between two checks
constexpr uint32_t kHangLimitMs = 4000;           // silence after which the thread counts as hung
constexpr uint32_t kWatchdogStopWaitMs = 2000;    // Stop's wait for a check in progress
constexpr int kMaxReportedHangs = 3;
constexpr uint32_t kHangExceptionCode = 0xC00000FF;
constexpr int kMaxCallStackFrames = 50;
constexpr unsigned kCodeBytesShown = 32;
// The part of the hung thread's stack copied while it is suspended.
constexpr uint32_t kStackCopyBytes = 64 * 1024;

// The hang report.
constexpr const wchar_t kHangReportHeader[] =
    L"%ls\r\n%ls %ls  %ls\r\n----------------------------------------\r\nType: %ls\r\nAddress: %ls\r\n%ls\r\n"
    L"CpuTime: %ls\r\nBytes at CS:EIP: %ls\r\n";
constexpr const wchar_t kHangReportBody[] =
    L"\r\nCallStack:\r\n%ls\r\nRegs:\r\n%ls\r\nTids:\r\n%ls\r\nModules:\r\n%ls"
    L"----------------------------------------\r\n";
constexpr const wchar_t kWindowsVersionFormat[] = L"%ls [Build %d.%d.%d]";
constexpr const wchar_t kProductVersionFormat[] = L"%d.%02d.%04lu";
constexpr const wchar_t kReadAddressError[] = L"Error: Read address 0x%08X";
constexpr const wchar_t kWriteAddressError[] = L"Error: Write address 0x%08X";
constexpr const wchar_t kLogicDeadError[] = L"Error: logic dead";
constexpr const wchar_t kCpuTimeFormat[] = L"ui64CPU[%I64u%%]";
#if defined(_WIN64)
// A 64-bit build prints whole addresses.
constexpr const wchar_t kFrameInModuleFormat[] = L"0x%016I64X[%I64X] %ls: ";
constexpr const wchar_t kFrameUnknownFormat[] = L"0x%016I64X<unknown module>: ";
constexpr const wchar_t kFrameArgumentsFormat[] = L"(%I64u,%I64u,%I64u,%I64u)\r\n";
constexpr const wchar_t kModuleLineFormat[] = L"[%016I64X,%06X] %ls [%ls]\r\n";
#else
constexpr const wchar_t kFrameInModuleFormat[] = L"0x%08X[%X] %ls: ";
constexpr const wchar_t kFrameUnknownFormat[] = L"0x%08X<unknown module>: ";
constexpr const wchar_t kFrameArgumentsFormat[] = L"(%lu,%lu,%lu,%lu)\r\n";
constexpr const wchar_t kModuleLineFormat[] = L"[%08X,%06X] %ls [%ls]\r\n";
#endif
constexpr const wchar_t kRegistersFormat[] =
    L"EAX=%p, EBX=%p, ECX=%p, EDX=%p\r\nESI=%p, EDI=%p, EBP=%p, ESP=%p, EIP=%p\r\n";
constexpr const wchar_t kThreadIdsFormat[] = L"pid=%lu init_tid=%lu crashtid=%lu\r\n";
constexpr const wchar_t kModuleVersionFormat[] = L"%d.%d.%d.%d";

// Install-log lines.
constexpr const wchar_t kLogWatchdogStarted[] = L"hang watchdog started for thread %lu\r\n";
constexpr const wchar_t kLogWatchdogNotStarted[] = L"hang watchdog could not be started, error %lu\r\n";
constexpr const wchar_t kLogThreadNotOpened[] = L"hang watchdog cannot open thread %lu, error %lu\r\n";
constexpr const wchar_t kLogThreadNotExamined[] = L"hang watchdog cannot examine thread %lu, error %lu\r\n";
constexpr const wchar_t kLogHangReported[] = L"hang watchdog: thread %lu hung at %p, hang %d of %d\r\n";
constexpr const wchar_t kLogWatchdogCutOff[] = L"hang watchdog did not stop in time and was terminated\r\n";

constexpr const wchar_t kWindowsVersionKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
constexpr const wchar_t kWindowsProductNameValue[] = L"ProductName";

}  // namespace diag
