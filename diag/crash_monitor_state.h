#pragma once

#include <windows.h>

#include "diag/crash_info_block.h"

namespace diag {

// What the monitor keeps for the whole process. The crash path reads it without allocating, so
// the reporter's path is a fixed buffer.
struct CrashMonitorState {
    CrashMonitorState() { InitializeCriticalSection(&lock); }
    CrashMonitorState(const CrashMonitorState&) = delete;
    CrashMonitorState& operator=(const CrashMonitorState&) = delete;

    CrashInfoBlock* block = nullptr;          // written once by InstallCrashHandler
    wchar_t reporterPath[MAX_PATH + 1] = {};  // empty until SetCrashReporterPath
    // Set under `lock` by the one thread that handles the crash; read without it by the
    // vectored handler, which only needs to know whether to hand over at once.
    volatile LONG crashHandled = 0;
    volatile DWORD handlingThreadId = 0;  // written with crashHandled
    CRITICAL_SECTION lock;
    uintptr_t extraInfo = 0;  // passed to the reporter as /extinfo; this program has none
};

CrashMonitorState& CrashState();

}  // namespace diag
