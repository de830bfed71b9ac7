#pragma once

#include <cstdint>

// Names, texts and numbers of the crash monitor that the crash reporter, the user or a reader of
// the heap-walk files sees.
namespace diag {

constexpr uint32_t kCrashExitCode = 4660;  // 0x1234: the process always ends with it after a crash
constexpr const wchar_t kCrashCommandLineFormat[] = L"bugreport /buginfo:%s:%s:%s:%lu /extinfo:%s";
constexpr const wchar_t kCrashBoxText[] = L"\r\n发生了崩溃，将会关闭";
constexpr const wchar_t kCrashBoxCaption[] = L"崩溃";
constexpr const wchar_t kCrashFolderName[] = L"Corvane\\";
constexpr const wchar_t kCrashFallbackTempFolder[] = L"C:\\temp\\";

// The heap-walk files next to the reporter's report.
constexpr const wchar_t kHeapWalkFullSuffix[] = L"Heapwalk_full.txt";
constexpr const wchar_t kHeapWalkAboveSuffix[] = L"Heapwalk_above30.txt";
constexpr const wchar_t kHeapWalkHeader[] = L"FreeBlkAddr:Len,OverheadSize\r\n";
constexpr const wchar_t kHeapWalkEntry[] = L"%s:%x,%x\r\n";
constexpr const wchar_t kHeapWalkCorrupt[] = L"----------------heap corrupt!!!------------------\r\n";
constexpr const wchar_t kHeapWalkError[] =
    L"-----------warning:an error encountered durning walking, LastError:%u-----------\r\n";
constexpr const wchar_t kHeapWalkOk[] = L"-----------ok:no error encountered durning walking-----------\r\n";
constexpr const wchar_t kHeapWalkIncomplete[] = L"more...\r\n";
constexpr const wchar_t kHeapWalkComplete[] = L"full\r\n";
constexpr uint32_t kHeapWalkAboveSize = 0x30;
constexpr uint32_t kHeapWalkLimitMs = 5000;
// How long the crashed program waits for the reporter to take over (signal) or end. A reporter that
// does neither is left running; the fallback box follows, then 4660.
constexpr uint32_t kReporterWaitMs = 60000;

// Exception codes the vectored handler takes itself instead of waiting for the filter.
constexpr uint32_t kStatusHeapCorruption = 0xC0000374;
constexpr uint32_t kStatusStackOverflow = 0xC00000FD;
constexpr uint32_t kCrashStackBytes = 0x10000;

// Ends that raise no structured exception reach the crash handler with codes of the monitor's
// own (the customer bit set, so that no system code is one of them). With two parameters in the
// record, the first is the address, in the crashed process, of a UTF-16 text saying what was
// thrown, the second its length in characters (below kCrashDetailChars, no terminator).
constexpr uint32_t kUncaughtCppExceptionCode = 0xE0504C01;  // std::terminate: nobody caught a throw
constexpr uint32_t kAbortCode = 0xE0504C02;                 // abort()
constexpr uint32_t kCrashDetailChars = 256;
// A C++ throw as the x86-64 runtime raises it (compared under the mask, which also takes its
// unwinding codes). One that reaches the filter was caught by nobody: continued, it returns to the
// runtime, which calls std::terminate.
constexpr uint32_t kGccThrowCode = 0x20474343;
constexpr uint32_t kGccThrowCodeMask = 0x20FFFFFF;

// The install log's lines of the arming.
constexpr const wchar_t kLogCrashMonitorArmed[] = L"[setup]crash monitor armed, reporter %s, user number %d\n";
constexpr const wchar_t kLogCrashMonitorFailed[] = L"[setup]crash monitor could not be installed, error %lu\n";

}  // namespace diag
