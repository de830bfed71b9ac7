#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "diag/process_modules.h"
#include "payload/crash_block_reader.h"

namespace reporter {

// A module of the crashed process with what the report says about it.
struct ReportedModule {
    diag::LoadedModule module;
    std::wstring version;   // "1.2.3.4" or empty
    std::wstring linkTime;  // ",YYYY-MM-DD hh:mm:ss GMT" or empty
};

// The two heap-walk files the crashed program wrote before it started the reporter, named after
// its running executable and its crash tick, in `folder` (ending in "\"): the paths exactly as it
// wrote them, or both empty when it could not name them and wrote none.
struct HeapWalkFiles {
    std::wstring full;
    std::wstring above30;
};
HeapWalkFiles HeapWalkFileNames(const std::wstring& folder, const std::wstring& runningExecutable,
                                uint32_t crashTick);

// The readable report: the exception (code, name, what was thrown where known, address and its
// module), the crashing thread, the registers, the five strings, the heap-walk files and the
// module list.
std::wstring ComposeCrashReport(const CrashSnapshot& snapshot, uint32_t processId,
                                const std::vector<ReportedModule>& modules, const HeapWalkFiles& heapWalk);

}  // namespace reporter
