#include "diag/hang_watchdog.h"

#include <windows.h>

#include <atomic>

#include "diag/crash_info_block_store.h"
#include "diag/cvlog_options.h"
#include "diag/hang_report.h"
#include "diag/hang_watchdog_constants.h"
#include "diag/install_log.h"
#include "diag/win_handle.h"

namespace diag {
namespace {

// One per process, made on first use of any export. The tick, stop request and busy flag are
// written by one thread and read by the other without a lock: a stale value only moves one check.
struct HangWatchdogRecord {
    DWORD monitoredThreadId = 0;
    DWORD spare = 0;
    uint64_t lastUserTime = 0;  // 100-ns units
    std::atomic<DWORD> lastActivityTick{0};
    HANDLE watchdogThread = nullptr;
    std::atomic<DWORD> stopRequest{0};
    std::atomic<DWORD> busy{0};
};
static_assert(sizeof(void*) != 4 || sizeof(HangWatchdogRecord) == 32, "the record of the 32-bit program");

struct HangWatchdogState {
    HangWatchdogRecord record;
    CriticalSection startStop;       // Start and Stop
    ScopedHandle stopEvent{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    CriticalSection observations;    // hangCount and lastReport
    int hangCount = 0;
    std::wstring lastReport;
};

HangWatchdogState& State() {
    // Never destroyed: the watchdog thread may still run while the process exits.
    static HangWatchdogState* state = new HangWatchdogState();
    return *state;
}

uint64_t UserTimeOf(HANDLE thread) {
    FILETIME creation, exit, kernel, user;
    if (!GetThreadTimes(thread, &creation, &exit, &kernel, &user)) return 0;
    return (static_cast<uint64_t>(user.dwHighDateTime) << 32) | user.dwLowDateTime;
}

// The thread environment block of `thread`, or 0.
uintptr_t TebOf(HANDLE thread) {
    struct ThreadBasicInformation {
        LONG exitStatus;
        void* tebBaseAddress;
        void* clientId[2];
        ULONG_PTR affinityMask;
        LONG priority;
        LONG basePriority;
    };
    using QueryFunction = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    auto query = reinterpret_cast<QueryFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));
    ThreadBasicInformation information = {};
    if (query == nullptr || query(thread, 0, &information, sizeof(information), nullptr) != 0) return 0;
    return reinterpret_cast<uintptr_t>(information.tebBaseAddress);
}

// Copies the stack from `stackPointer` up to the stack base (at most the copy's size). Allocates
// nothing: it runs while the watched thread, which may hold the heap lock, is suspended.
void CopyStack(uintptr_t teb, uintptr_t stackPointer, StackCopy& stack) {
    uintptr_t stackBase = 0;
    if (teb != 0) ReadOwnMemory(teb + offsetof(NT_TIB, StackBase), &stackBase, sizeof(stackBase));
    size_t words = stack.words.size();
    if (stackBase > stackPointer) words = std::min(words, (stackBase - stackPointer) / sizeof(uintptr_t));
    while (words > 0 && !ReadOwnMemory(stackPointer, stack.words.data(), words * sizeof(uintptr_t))) words /= 2;
    stack.start = stackPointer;
    stack.words.resize(words);  // shrinking never allocates
}

// Takes the hung thread's state while it is suspended, stores it in the block, and composes the
// report once the thread runs again. False when no hang was recorded: the thread gave a sign of
// life after all, or it could not be examined.
bool RecordHang(HANDLE thread, DWORD threadId, CrashInfoBlock& block, uint64_t cpuPercent) {
    HangSnapshot snapshot;
    snapshot.threadId = threadId;
    snapshot.cpuPercent = cpuPercent;
    snapshot.stack.words.assign(kStackCopyBytes / sizeof(uintptr_t), 0);
    const uintptr_t teb = TebOf(thread);
    if (SuspendThread(thread) == static_cast<DWORD>(-1)) {
        InstallLog::Format(kLogThreadNotExamined, threadId, GetLastError());
        return false;
    }
    // Decided again while the thread cannot call Activate: a sign of life that came during the
    // check is no hang.
    if (!IsHangOverdue(GetTickCount(), State().record.lastActivityTick.load(), kHangLimitMs)) {
        ResumeThread(thread);
        return false;
    }
    snapshot.context.ContextFlags = CONTEXT_FULL;
    const bool haveContext = GetThreadContext(thread, &snapshot.context) != FALSE;
    const DWORD contextError = GetLastError();
    if (haveContext) {
#if defined(_WIN64)
        const uintptr_t instruction = snapshot.context.Rip, stackPointer = snapshot.context.Rsp;
#else
        const uintptr_t instruction = snapshot.context.Eip, stackPointer = snapshot.context.Esp;
#endif
        snapshot.record.ExceptionCode = kHangExceptionCode;
        snapshot.record.ExceptionAddress = reinterpret_cast<void*>(instruction);
        snapshot.codeRead = ReadOwnMemory(instruction, snapshot.codeBytes, sizeof(snapshot.codeBytes));
        CopyStack(teb, stackPointer, snapshot.stack);
        block.crashThreadId = threadId;
        block.crashThreadTeb = teb;
        block.exceptionRecord = snapshot.record;
        block.context = snapshot.context;
    }
    ResumeThread(thread);
    if (!haveContext) {
        InstallLog::Format(kLogThreadNotExamined, threadId, contextError);
        return false;
    }
    const std::wstring report = ComposeHangReport(block, snapshot, ListProcessModules(GetCurrentProcessId()));
    HangWatchdogState& state = State();
    CriticalSectionLock lock(state.observations);
    ++state.hangCount;
    state.lastReport = report;
    InstallLog::Format(kLogHangReported, threadId, snapshot.record.ExceptionAddress, state.hangCount,
                       kMaxReportedHangs);
    return true;
}

DWORD WINAPI WatchdogThread(void*) {
    HangWatchdogState& state = State();
    HangWatchdogRecord& record = state.record;
    ScopedHandle thread(OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT | THREAD_QUERY_INFORMATION, FALSE,
                                   record.monitoredThreadId));
    if (!thread.IsValid()) {
        InstallLog::Format(kLogThreadNotOpened, record.monitoredThreadId, GetLastError());
        return 1;
    }
    record.lastUserTime = UserTimeOf(thread.Get());
    DWORD lastCheck = GetTickCount();
    int hangs = 0;
    for (;;) {
        WaitForSingleObject(state.stopEvent.Get(), kWatchdogPeriodMs);
        if (record.stopRequest.load() != 0) return 0;
        record.busy.store(1);
        const DWORD now = GetTickCount();
        const uint64_t userTime = UserTimeOf(thread.Get());
        const DWORD elapsed = now - lastCheck;
        const uint64_t cpuPercent = elapsed != 0 ? (userTime - record.lastUserTime) / elapsed / 100 : 0;
        record.lastUserTime = userTime;
        lastCheck = now;
        const DWORD activity = record.lastActivityTick.load();
        CrashInfoBlock* block = ProcessCrashInfoBlock();
        if (IsHangOverdue(now, activity, kHangLimitMs) && block != nullptr) {
            if (RecordHang(thread.Get(), record.monitoredThreadId, *block, cpuPercent)) ++hangs;
            if (hangs >= kMaxReportedHangs) {
                record.busy.store(0);
                return 0;
            }
            record.lastActivityTick.store(GetTickCount());
        }
        record.busy.store(0);
    }
}

}  // namespace

bool HasWatchdogSwitch(const std::vector<std::wstring>& arguments) {
    for (const std::wstring& argument : arguments)
        if (argument.compare(0, kWatchdogSwitchLength, kWatchdogSwitch) == 0) return true;
    return false;
}

bool IsHangOverdue(uint32_t now, uint32_t lastActivityTick, uint32_t limitMs) {
    // The difference taken as signed: a sign of life given after `now` was read comes out
    // negative instead of as a silence of 49 days, and the counter's wrap cancels out.
    const auto silence = static_cast<int32_t>(now - lastActivityTick);
    return lastActivityTick != 0 && silence > static_cast<int32_t>(limitMs);
}

int StartHangWatchdog() {
    HangWatchdogState& state = State();
    HangWatchdogRecord& record = state.record;
    if (!HasWatchdogSwitch(ProcessArguments())) return 0;
    CriticalSectionLock lock(state.startStop);
    if (record.watchdogThread != nullptr || !state.stopEvent.IsValid()) return 0;
    record.monitoredThreadId = GetCurrentThreadId();
    record.stopRequest.store(0);
    ResetEvent(state.stopEvent.Get());
    record.lastActivityTick.store(GetTickCount());
    HANDLE thread = CreateThread(nullptr, 0, WatchdogThread, nullptr, 0, nullptr);
    if (thread == nullptr) {
        InstallLog::Format(kLogWatchdogNotStarted, GetLastError());
        return 0;
    }
    InstallLog::Format(kLogWatchdogStarted, record.monitoredThreadId);
    SetThreadPriority(thread, THREAD_PRIORITY_TIME_CRITICAL);
    record.watchdogThread = thread;
    return 1;
}

int StopHangWatchdog() {
    HangWatchdogState& state = State();
    HangWatchdogRecord& record = state.record;
    CriticalSectionLock lock(state.startStop);
    if (record.watchdogThread == nullptr) return 0;
    ScopedHandle thread(record.watchdogThread);
    record.watchdogThread = nullptr;
    record.stopRequest.store(1);
    SetEvent(state.stopEvent.Get());
    // The watchdog ends at its next look at the request; it is cut off only when a check hangs,
    // never while it may hold the watched thread suspended or the heap locked.
    const DWORD wait = record.busy.load() != 0 ? kWatchdogStopWaitMs : kWatchdogPeriodMs + kWatchdogStopWaitMs;
    if (WaitForSingleObject(thread.Get(), wait) == WAIT_TIMEOUT) {
        InstallLog::Write(kLogWatchdogCutOff);
        TerminateThread(thread.Get(), 1);
    }
    return 1;
}

void ActivateHangWatchdog() { State().record.lastActivityTick.store(GetTickCount()); }

int ReportedHangCount() {
    HangWatchdogState& state = State();
    CriticalSectionLock lock(state.observations);
    return state.hangCount;
}

std::wstring LastHangReport() {
    HangWatchdogState& state = State();
    CriticalSectionLock lock(state.observations);
    return state.lastReport;
}

}  // namespace diag
