// Installing the crash monitor: the block, the unhandled-exception filter that nothing else may
// replace, the vectored handler and the exception policy.
#include <windows.h>

#include <cstring>

#include "diag/crash_constants.h"
#include "diag/crash_info_block_store.h"
#include "diag/crash_info_builder.h"
#include "diag/crash_monitor.h"
#include "diag/crash_monitor_state.h"
#include "diag/crash_terminate_handler.h"
#include "diag/crash_vectored_handler.h"

namespace diag {
namespace {

// SetUnhandledExceptionFilter becomes "return null": xor eax, eax; ret (with the argument popped
// on x86).
#if defined(_WIN64)
constexpr unsigned char kFilterLockBytes[] = {0x33, 0xC0, 0xC3};
#else
constexpr unsigned char kFilterLockBytes[] = {0x33, 0xC0, 0xC2, 0x04, 0x00};
#endif

using ExceptionPolicyGetter = BOOL(WINAPI*)(LPDWORD);
using ExceptionPolicySetter = BOOL(WINAPI*)(DWORD);
constexpr DWORD kPolicyCallbackFilter = 1;

void LockUnhandledExceptionFilter() {
    auto* target = reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetUnhandledExceptionFilter"));
    if (target == nullptr) return;
    // The code page is read-only; open it for the five bytes and close it again.
    DWORD oldProtection = 0;
    if (!VirtualProtect(target, sizeof(kFilterLockBytes), PAGE_EXECUTE_READWRITE, &oldProtection)) return;
    SIZE_T written = 0;
    WriteProcessMemory(GetCurrentProcess(), target, kFilterLockBytes, sizeof(kFilterLockBytes), &written);
    VirtualProtect(target, sizeof(kFilterLockBytes), oldProtection, &oldProtection);
    FlushInstructionCache(GetCurrentProcess(), target, sizeof(kFilterLockBytes));
    SetUnhandledExceptionFilter(nullptr);
}

// Exceptions raised inside window callbacks must reach the filter instead of being swallowed
// by the system.
void StopSwallowingCallbackExceptions() {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto get = reinterpret_cast<ExceptionPolicyGetter>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "GetProcessUserModeExceptionPolicy")));
    auto set = reinterpret_cast<ExceptionPolicySetter>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetProcessUserModeExceptionPolicy")));
    if (get == nullptr || set == nullptr) return;
    DWORD policy = 0;
    if (get(&policy)) set(policy & ~kPolicyCallbackFilter);
}

}  // namespace

CrashMonitorState& CrashState() {
    static CrashMonitorState state;
    return state;
}

bool InstallCrashHandler(const CrashIdentity& identity) {
    CrashMonitorState& state = CrashState();
    if (state.block == nullptr) state.block = CreateCrashInfoBlock(identity);
    if (state.block == nullptr) return false;
    // The hang watchdog records its hangs into the same block.
    SetProcessCrashInfoBlock(state.block);
    SetErrorMode(SEM_NOGPFAULTERRORBOX);
    ArmCrashFilter();
    using AddHandler = PVOID(WINAPI*)(ULONG, PVECTORED_EXCEPTION_HANDLER);
    auto add = reinterpret_cast<AddHandler>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "AddVectoredExceptionHandler")));
    if (add) add(0, CrashVectoredHandler);
    StopSwallowingCallbackExceptions();
    return true;
}

void ArmCrashFilter() {
    SetUnhandledExceptionFilter(HandleCrash);
    LockUnhandledExceptionFilter();
    ArmTerminateHandlers();
}

void SetCrashReporterPath(const std::wstring& path) {
    // A path the buffer cannot hold whole would name another file; the search by name stays.
    if (path.empty() || path.size() > MAX_PATH) return;
    CrashMonitorState& state = CrashState();
    memcpy(state.reporterPath, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
}

void SetCrashFlags(uint32_t flags) {
    if (CrashState().block) CrashState().block->flags = flags;
}

void SetCrashUserNumber(uint32_t userNumber) {
    ArmCrashFilter();
    if (CrashState().block) CrashState().block->userNumber = userNumber;
}

}  // namespace diag
