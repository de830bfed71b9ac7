#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "diag/call_stack.h"
#include "diag/crash_info_block.h"
#include "diag/process_modules.h"

namespace diag {

// What the watchdog took from the hung thread while it was suspended.
struct HangSnapshot {
    EXCEPTION_RECORD record = {};
    CONTEXT context = {};
    uint32_t threadId = 0;
    uint64_t cpuPercent = 0;
    StackCopy stack;
    uint8_t codeBytes[32] = {};
    bool codeRead = false;
};

// The hang (or crash) report of this process as text: Windows and product versions, the
// exception, the code bytes, the call stack, the registers, the thread ids and the modules.
// Composed in memory only; reads this process's memory through ReadProcessMemory, so that an
// unreadable address costs a line, not a second fault.
std::wstring ComposeHangReport(const CrashInfoBlock& block, const HangSnapshot& snapshot,
                               const std::vector<LoadedModule>& modules);

// "<product name> [Build major.minor.build]" of the running Windows.
std::wstring WindowsVersionText();

// Reads `size` bytes of this process at `address`; false when any of them is unreadable.
bool ReadOwnMemory(uintptr_t address, void* buffer, size_t size);

}  // namespace diag
