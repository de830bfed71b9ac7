#pragma once

// The crash monitor: once installed, a crash of any thread of the process ends in a report made
// by the crash reporter ("bugreport.exe"), two heap-walk files in %TEMP%\Corvane and the exit code
// 4660, never in a silent death. Installed once per process, after the reporter is on disk.
#include <windows.h>

#include <cstdint>
#include <string>

#include "diag/crash_info_block.h"

namespace diag {

// Who crashed: the values the block carries for the reporter.
struct CrashIdentity {
    uint32_t languageId = 0;
    std::wstring productCode;
    std::wstring displayName;
    std::wstring productExecutable;
    std::wstring extraText;
    uint16_t versionMajor = 0;
    uint16_t versionMinor = 0;
    uint32_t versionBuild = 0;
    bool flagA = false;
    bool flagB = false;
    uint32_t creationValue = 0;
    // An address whose module the block names when it is not the executable; -1 (all bits set)
    // marks "no module", 0 looks nothing up.
    uintptr_t address = 0;
};

// Makes the process's block, arms the filter and the vectored handler. False (with the system's
// error) when the block could not be allocated; the process then has no monitor.
bool InstallCrashHandler(const CrashIdentity& identity);

// Makes HandleCrash the unhandled-exception filter and locks SetUnhandledExceptionFilter, so that
// no other code of the process can take the filter away again; makes the terminate and abort
// handlers (diag/crash_terminate_handler.h) hand their ends to it as well. Any thread may be the
// one that crashes, throws or aborts.
void ArmCrashFilter();

// The reporter to start; an empty path is ignored. Without one the reporter is searched for by
// name at the crash.
void SetCrashReporterPath(const std::wstring& path);
void SetCrashFlags(uint32_t flags);
// Arms the filter again (a library loaded since may have replaced it) and stores the number.
void SetCrashUserNumber(uint32_t userNumber);

// The unhandled-exception filter. Handles the first crash of the process and ends it with 4660.
// A C++ throw of the x86-64 runtime that nobody caught is continued instead, so that the runtime
// calls std::terminate, whose handler comes back here with the exception's type.
// A later call from another thread returns EXCEPTION_CONTINUE_SEARCH once the handling is over
// (it waits until then, and the process ends first); an unhandled fault of the handling thread
// itself ends the process with 4660 at once, with no second reporter.
LONG WINAPI HandleCrash(EXCEPTION_POINTERS* pointers);

}  // namespace diag
