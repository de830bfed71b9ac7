// HandleCrash: the process's first crash ends in the reporter's report and the exit code 4660.
#include <windows.h>

#include <tlhelp32.h>
#include <cstring>

#include "diag/crash_constants.h"
#include "diag/crash_info_block_store.h"
#include "diag/crash_monitor.h"
#include "diag/crash_monitor_state.h"
#include "diag/crash_text.h"
#include "diag/handle_list_start.h"
#include "diag/heap_walk_files.h"
#include "diag/thread_environment.h"
#include "diag/win_handle.h"

namespace diag {
namespace {

constexpr size_t kCommandLineChars = 200;

// Freezes the process around the crash: nothing may change the heap or the block while the
// reporter reads them.
void SuspendOtherThreads() {
    ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot.IsValid()) return;
    const DWORD process = GetCurrentProcessId();
    const DWORD self = GetCurrentThreadId();
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot.Get(), &entry); more; more = Thread32Next(snapshot.Get(), &entry)) {
        if (entry.th32OwnerProcessID != process || entry.th32ThreadID == self) continue;
        ScopedHandle thread(OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID));
        if (thread.IsValid()) SuspendThread(thread.Get());
    }
}

void RecordCrash(CrashInfoBlock* block, EXCEPTION_POINTERS* pointers) {
    if (block == nullptr) return;
    block->crashThreadTeb = reinterpret_cast<uintptr_t>(CurrentThreadEnvironment());
    block->exceptionPointers = reinterpret_cast<uintptr_t>(pointers);
    if (pointers && pointers->ExceptionRecord)
        memcpy(&block->exceptionRecord, pointers->ExceptionRecord, sizeof(block->exceptionRecord));
    if (pointers && pointers->ContextRecord) memcpy(&block->context, pointers->ContextRecord, sizeof(block->context));
    block->clearedAtCrash = 0;
    block->crashThreadId = GetCurrentThreadId();
    block->crashTick = (block->flags & kCrashFlagNoTick) ? 0 : GetTickCount();
}

// The reporter to start: the staged one that was set, by its full path. No search: the search
// order begins with the setup's own folder (often a download folder) and the current folder, where
// anybody may have put a "bugreport.exe" that would get a full-access handle to this process.
bool FindReporter(const wchar_t* configured, wchar_t (&path)[MAX_PATH + 1]) {
    if (configured[0] == L'\0' || GetFileAttributesW(configured) == INVALID_FILE_ATTRIBUTES) return false;
    memcpy(path, configured, sizeof(path));
    return true;
}

void WriteHeapWalk(const CrashInfoBlock* block) {
    wchar_t folder[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH) wcscpy(folder, kCrashFallbackTempFolder);
    CreateDirectoryW(folder, nullptr);
    if (wcslen(folder) + wcslen(kCrashFolderName) > MAX_PATH) return;
    wcscat(folder, kCrashFolderName);
    CreateDirectoryW(folder, nullptr);

    wchar_t running[MAX_PATH + 1] = {};
    if (block) {
        wcsncpy(running, CrashBlockString(*block, 4), MAX_PATH);
    } else {
        GetModuleFileNameW(nullptr, running, MAX_PATH);
    }
    wchar_t fullPath[MAX_PATH + 1];
    wchar_t abovePath[MAX_PATH + 1];
    if (!HeapWalkFileNames(folder, running, block ? block->crashTick : 0, fullPath, abovePath, MAX_PATH + 1)) return;
    WriteHeapWalkFiles(RuntimeHeap(), fullPath, abovePath, kHeapWalkLimitMs);
}

// Starts the reporter and waits for it, a minute at most; true when it signalled that it has the
// information.
bool RunReporter(wchar_t* reporter, HANDLE event, HANDLE process, const CrashInfoBlock* block) {
    wchar_t eventText[kPointerTextChars], processText[kPointerTextChars], blockText[kPointerTextChars],
        extraText[kPointerTextChars];
    FormatPointer(reinterpret_cast<uintptr_t>(event), eventText);
    FormatPointer(reinterpret_cast<uintptr_t>(process), processText);
    FormatPointer(reinterpret_cast<uintptr_t>(block), blockText);
    FormatPointer(CrashState().extraInfo, extraText);
    wchar_t commandLine[kCommandLineChars];
    FormatText(commandLine, kCommandLineChars, kCrashCommandLineFormat, eventText, processText, blockText,
               static_cast<unsigned long>(GetCurrentProcessId()), extraText);

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION started = {};
    // The reporter gets the event and the process handle, and none of the setup's other handles.
    HANDLE inherited[] = {event, process};
    if (!StartInheritingOnly(reporter, commandLine, startup, inherited, 2, &started)) return false;
    ScopedHandle reporterProcess(started.hProcess);
    ScopedHandle reporterThread(started.hThread);
    HANDLE waits[] = {reporterProcess.Get(), event};
    WaitForMultipleObjects(2, waits, FALSE, kReporterWaitMs);
    // A reporter that signals and ends at once leaves both set; the event decides.
    return WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

void ShowFallbackBox(const CrashInfoBlock* block) {
    wchar_t text[MAX_PATH + 64] = {};
    wchar_t running[MAX_PATH + 1] = {};
    if (block) {
        wcsncpy(running, CrashBlockString(*block, 4), MAX_PATH);
    } else {
        GetModuleFileNameW(nullptr, running, MAX_PATH);
    }
    FormatText(text, MAX_PATH + 64, L"%s%s", running, kCrashBoxText);
    MessageBoxW(nullptr, text, kCrashBoxCaption, MB_OK);
}

// A C++ throw of the x86-64 runtime, which raises it as a structured exception: at the filter it
// was caught by nobody, and the runtime, when continued, hands it to std::terminate.
bool IsUncaughtCppThrow(const EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD* record = pointers != nullptr ? pointers->ExceptionRecord : nullptr;
    return record != nullptr && (record->ExceptionCode & kGccThrowCodeMask) == kGccThrowCode &&
           (record->ExceptionFlags & EXCEPTION_NONCONTINUABLE) == 0;
}

}  // namespace

LONG WINAPI HandleCrash(EXCEPTION_POINTERS* pointers) {
    CrashMonitorState& state = CrashState();
    // Before any crash only the filter brings a throw here (the vectored handler passes them on).
    if (!state.crashHandled && IsUncaughtCppThrow(pointers)) return EXCEPTION_CONTINUE_EXECUTION;
    // The first thread in keeps the lock for good: any other crashing thread waits here until the
    // process ends, and the handling thread itself re-enters.
    EnterCriticalSection(&state.lock);
    if (state.crashHandled) {
        // The handling thread faulted again and nothing caught it: the report cannot go on, and
        // handing the fault back would end the process through the system's default (a debugger,
        // or the fault's own code) instead of 4660.
        if (state.handlingThreadId == GetCurrentThreadId()) TerminateProcess(GetCurrentProcess(), kCrashExitCode);
        return EXCEPTION_CONTINUE_SEARCH;
    }
    state.handlingThreadId = GetCurrentThreadId();
    state.crashHandled = 1;

    SuspendOtherThreads();
    CrashInfoBlock* block = state.block;
    RecordCrash(block, pointers);

    SECURITY_ATTRIBUTES inherited = {sizeof(inherited), nullptr, TRUE};
    ScopedHandle event(CreateEventW(&inherited, TRUE, FALSE, nullptr));
    HANDLE processCopy = nullptr;
    DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &processCopy, 0, TRUE,
                    DUPLICATE_SAME_ACCESS);
    ScopedHandle process(processCopy);

    bool taken = false;
    wchar_t reporter[MAX_PATH + 1] = {};
    if (event.IsValid() && process.IsValid() && FindReporter(state.reporterPath, reporter)) {
        WriteHeapWalk(block);
        taken = RunReporter(reporter, event.Get(), process.Get(), block);
    }
    event.Reset();
    if (!taken) ShowFallbackBox(block);
    TerminateProcess(GetCurrentProcess(), kCrashExitCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace diag
