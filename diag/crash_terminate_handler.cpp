// The ends of a process that bypass the unhandled-exception filter, routed into it.
#include "diag/crash_terminate_handler.h"

#include <windows.h>

#include <csignal>
#include <cstdlib>
#include <cwchar>
#include <exception>
#include <string>

#include "diag/crash_constants.h"
#include "diag/crash_monitor.h"
#include "diag/current_exception_text.h"

namespace diag {
namespace {

using AbortBehaviorSetter = unsigned(__cdecl*)(unsigned, unsigned);

// The crash handler, called as the filter would call it: a record with `code` at the caller's
// place in this program, the caller's registers, and `text` (on the caller's stack, which stays
// as it is while the reporter reads it) as the record's two parameters.
[[noreturn]] __attribute__((noinline)) void EndInCrashHandler(uint32_t code, const wchar_t* text) {
    CONTEXT context = {};
    // On x86 it takes the registers through this function's EBP frame, which this file is always
    // compiled to keep (diag/CMakeLists.txt); without one it reads through whatever EBP holds.
    RtlCaptureContext(&context);
    EXCEPTION_RECORD record = {};
    record.ExceptionCode = code;
    record.ExceptionFlags = EXCEPTION_NONCONTINUABLE;
#if defined(_WIN64)
    record.ExceptionAddress = reinterpret_cast<void*>(context.Rip);
#else
    record.ExceptionAddress = reinterpret_cast<void*>(context.Eip);
#endif
    const size_t length = text != nullptr ? wcslen(text) : 0;
    if (length != 0) {
        record.NumberParameters = 2;
        record.ExceptionInformation[0] = reinterpret_cast<ULONG_PTR>(text);
        record.ExceptionInformation[1] = length;
    }
    EXCEPTION_POINTERS pointers = {&record, &context};
    HandleCrash(&pointers);
    // The handler ends the process itself; should it ever return, the end is the same.
    TerminateProcess(GetCurrentProcess(), kCrashExitCode);
    std::_Exit(static_cast<int>(kCrashExitCode));
}

// The runtime's abort() may show a message box of its own before it raises SIGABRT, which would
// hold the process until somebody closed it. The runtimes that know _set_abort_behavior are told
// not to; msvcrt.dll exports it only on some systems.
void SilenceRuntimeAbortMessage() {
    constexpr unsigned kWriteAbortMessage = 0x1, kCallReportFault = 0x2;
#if defined(_UCRT)
    _set_abort_behavior(0, kWriteAbortMessage | kCallReportFault);
#else
    HMODULE runtime = GetModuleHandleW(L"msvcrt.dll");
    auto set = runtime == nullptr ? nullptr
                                  : reinterpret_cast<AbortBehaviorSetter>(reinterpret_cast<void*>(
                                        GetProcAddress(runtime, "_set_abort_behavior")));
    if (set != nullptr) set(0, kWriteAbortMessage | kCallReportFault);
#endif
}

}  // namespace

void CrashTerminateHandler() {
    wchar_t text[kCrashDetailChars] = {};
    // A throw that nobody caught still counts as being handled here.
    const std::wstring thrown = CurrentExceptionText();
    wcsncpy(text, thrown.c_str(), kCrashDetailChars - 1);
    EndInCrashHandler(kUncaughtCppExceptionCode, text);
}

void CrashAbortHandler(int) { EndInCrashHandler(kAbortCode, nullptr); }

void ArmTerminateHandlers() {
    std::set_terminate(CrashTerminateHandler);
    std::signal(SIGABRT, CrashAbortHandler);
    SilenceRuntimeAbortMessage();
}

}  // namespace diag
