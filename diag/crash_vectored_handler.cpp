// The vectored handler and the stack switch for stack overflows.
#include "diag/crash_vectored_handler.h"

#include "diag/crash_constants.h"
#include "diag/crash_monitor.h"
#include "diag/crash_monitor_state.h"
#include "diag/thread_environment.h"

namespace diag {
namespace {

using CrashFilter = LONG(WINAPI*)(EXCEPTION_POINTERS*);

// Calls `filter` with the stack pointer at `stackTop` and puts the old one back afterwards. The
// old stack pointer waits in a callee-saved register.
__attribute__((noinline)) LONG CallOnStack(void* stackTop, CrashFilter filter, EXCEPTION_POINTERS* pointers) {
    LONG result;
#if defined(__x86_64__)
    __asm__ volatile(
        "movq %%rsp, %%rsi\n\t"
        "movq %1, %%rsp\n\t"
        "andq $-16, %%rsp\n\t"
        "subq $32, %%rsp\n\t"  // the callee's home space for its register arguments
        "movq %3, %%rcx\n\t"
        "call *%2\n\t"
        "movq %%rsi, %%rsp\n\t"
        : "=a"(result)
        : "r"(stackTop), "r"(filter), "r"(pointers)
        : "rsi", "rcx", "rdx", "r8", "r9", "r10", "r11", "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5",
          "memory", "cc");
#elif defined(__i386__)
    __asm__ volatile(
        "movl %%esp, %%esi\n\t"
        "movl %1, %%esp\n\t"
        "andl $-16, %%esp\n\t"
        "subl $12, %%esp\n\t"
        "pushl %3\n\t"
        "call *%2\n\t"  // stdcall: the callee pops its argument
        "movl %%esi, %%esp\n\t"
        : "=a"(result)
        : "r"(stackTop), "r"(filter), "r"(pointers)
        : "esi", "ecx", "edx", "memory", "cc");
#else
#error "the crash monitor's stack switch knows x86 and x86-64 only"
#endif
    return result;
}

LONG HandleOnFreshStack(EXCEPTION_POINTERS* pointers) {
    auto* region = static_cast<unsigned char*>(
        VirtualAlloc(nullptr, kCrashStackBytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    // Without a fresh stack the filter gets what is left of the old one.
    if (region == nullptr) return HandleCrash(pointers);
    auto* thread = static_cast<NT_TIB*>(CurrentThreadEnvironment());
    void* const oldBase = thread->StackBase;
    void* const oldLimit = thread->StackLimit;
    if (CrashInfoBlock* block = CrashState().block) {
        block->savedStackBase = reinterpret_cast<uintptr_t>(oldBase);
        block->savedStackLimit = reinterpret_cast<uintptr_t>(oldLimit);
    }
    thread->StackLimit = region;
    thread->StackBase = region + kCrashStackBytes;
    const LONG result = CallOnStack(region + kCrashStackBytes, HandleCrash, pointers);
    thread->StackBase = oldBase;
    thread->StackLimit = oldLimit;
    VirtualFree(region, 0, MEM_RELEASE);
    return result;
}

}  // namespace

LONG CALLBACK CrashVectoredHandler(EXCEPTION_POINTERS* pointers) {
    const CrashMonitorState& state = CrashState();
    if (state.crashHandled) {
        // A fault of the handling thread first goes to its own handlers (system code catches some
        // of its faults); any other thread stops in HandleCrash until the process ends.
        if (state.handlingThreadId == GetCurrentThreadId()) return EXCEPTION_CONTINUE_SEARCH;
        return HandleCrash(pointers);
    }
    const DWORD code = pointers->ExceptionRecord->ExceptionCode;
    if (code == kStatusHeapCorruption) return HandleCrash(pointers);
    if (code == kStatusStackOverflow) return HandleOnFreshStack(pointers);
    return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace diag
