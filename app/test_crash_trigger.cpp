// The test build's crashes on demand. Never part of the shipped PeloraSetup.exe.
#include "app/test_crash_trigger.h"

#include <windows.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

namespace {

constexpr wchar_t kCrashVariable[] = L"PELORA_TEST_CRASH";
constexpr wchar_t kWaitVariable[] = L"PELORA_TEST_CRASH_AFTER";
constexpr int kCrashingThreads = 3;
constexpr int kWaitLimitMs = 120000;
constexpr UINT kQuietExitCode = 7;
constexpr char kThrownText[] = "test crash: nobody catches this";

volatile int* volatile g_nowhere = nullptr;
volatile LONG g_go = 0;

void WriteToNowhere() { *g_nowhere = 1; }

// Each frame keeps a buffer the compiler cannot drop, so the stack runs out quickly and surely.
#pragma GCC diagnostic ignored "-Winfinite-recursion"
__attribute__((noinline)) int Recurse(int depth) {
    volatile char frame[512];
    frame[depth % sizeof(frame)] = static_cast<char>(depth);
    return Recurse(depth + 1) + frame[0];
}

// What a library loaded later might install: a filter of its own that ends the process quietly.
LONG WINAPI QuietExit(EXCEPTION_POINTERS*) {
    ExitProcess(kQuietExitCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

DWORD WINAPI CrashWhenTold(void*) {
    while (!g_go) Sleep(0);
    WriteToNowhere();
    return 0;
}

}  // namespace

void ProvokeTestCrash() {
    wchar_t kind[32] = {};
    if (!GetEnvironmentVariableW(kCrashVariable, kind, 32)) return;
    const std::wstring wanted = kind;
    // A test may change the world between the arming and the crash: it creates this file when done.
    wchar_t flag[MAX_PATH + 1] = {};
    if (GetEnvironmentVariableW(kWaitVariable, flag, MAX_PATH + 1)) {
        for (int waited = 0; waited < kWaitLimitMs && GetFileAttributesW(flag) == INVALID_FILE_ATTRIBUTES; waited += 100)
            Sleep(100);
    }
    if (wanted == L"access") {
        WriteToNowhere();
    } else if (wanted == L"filter") {
        SetUnhandledExceptionFilter(QuietExit);
        WriteToNowhere();
    } else if (wanted == L"stack") {
        Recurse(0);
    } else if (wanted == L"threads") {
        for (int i = 0; i < kCrashingThreads; ++i) {
            HANDLE thread = CreateThread(nullptr, 0, CrashWhenTold, nullptr, 0, nullptr);
            if (thread) CloseHandle(thread);
        }
        Sleep(200);
        g_go = 1;
        WriteToNowhere();
    } else if (wanted == L"throw") {
        throw std::runtime_error(kThrownText);
    } else if (wanted == L"abort") {
        abort();
    }
}
