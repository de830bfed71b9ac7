// Test tool: measures how quickly the setup window answers. It finds the window (a visible dialog
// of the given process, 590 x 440 pixels), then every 50 ms sends it WM_NULL and times the round
// trip through the window's message queue, until the window is gone or the time is up.
//   msglatency.exe --pid=N [--seconds=S] [--wait=MS]
// Output: "window HEX" when found, then at the end "samples N max MS over MS" (milliseconds, one
// decimal; "over" counts the samples above 50 ms). Exit status: 0 when samples were taken, 1 when
// no window was found, 2 for a usage error.
#include "tools/console_text.h"

#include <cwchar>
#include <string>

namespace {

constexpr int kSetupWidth = 590;
constexpr int kSetupHeight = 440;
constexpr DWORD kPeriodMs = 50;
constexpr double kSlowMs = 50.0;
// A window that does not answer within this time is counted with this time.
constexpr UINT kGiveUpMs = 5000;

struct Search {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK MatchSetupWindow(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<Search*>(parameter);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != search->pid || !IsWindowVisible(window)) return TRUE;
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    RECT rect = {};
    GetWindowRect(window, &rect);
    if (wcscmp(className, L"#32770") != 0 || rect.right - rect.left != kSetupWidth ||
        rect.bottom - rect.top != kSetupHeight) {
        return TRUE;
    }
    search->found = window;
    return FALSE;
}

HWND FindSetupWindow(DWORD pid, DWORD waitMs) {
    const ULONGLONG deadline = GetTickCount64() + waitMs;
    for (;;) {
        Search search = {pid, nullptr};
        EnumWindows(&MatchSetupWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found || GetTickCount64() >= deadline) return search.found;
        Sleep(50);
    }
}

std::wstring OneDecimal(double value) {
    wchar_t text[32] = {};
    swprintf(text, 32, L"%.1f", value);
    return text;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    DWORD pid = 0;
    DWORD seconds = 120;
    DWORD waitMs = 30000;
    for (int i = 1; i < argc; ++i) {
        std::wstring value;
        if (tools::MatchOption(argv[i], L"--pid", &value)) pid = wcstoul(value.c_str(), nullptr, 10);
        else if (tools::MatchOption(argv[i], L"--seconds", &value)) seconds = wcstoul(value.c_str(), nullptr, 10);
        else if (tools::MatchOption(argv[i], L"--wait", &value)) waitMs = wcstoul(value.c_str(), nullptr, 10);
        else {
            tools::WriteErr(std::wstring(L"msglatency: unknown option ") + argv[i] + L"\n");
            return 2;
        }
    }
    if (!pid) {
        tools::WriteErr(L"usage: msglatency.exe --pid=N [--seconds=S] [--wait=MS]\n");
        return 2;
    }
    HWND window = FindSetupWindow(pid, waitMs);
    if (!window) {
        tools::WriteOut(L"no window\n");
        return 1;
    }
    wchar_t handle[32] = {};
    swprintf(handle, 32, L"window %llx\n", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)));
    tools::WriteOut(handle);

    LARGE_INTEGER frequency = {};
    QueryPerformanceFrequency(&frequency);
    const ULONGLONG end = GetTickCount64() + seconds * 1000ull;
    unsigned samples = 0;
    unsigned slow = 0;
    double worst = 0.0;
    while (GetTickCount64() < end && IsWindow(window)) {
        LARGE_INTEGER before = {}, after = {};
        DWORD_PTR result = 0;
        QueryPerformanceCounter(&before);
        const bool answered = SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, kGiveUpMs, &result) != 0;
        QueryPerformanceCounter(&after);
        // A window destroyed while the message waited is no measurement.
        if (!answered && !IsWindow(window)) break;
        const double ms = (after.QuadPart - before.QuadPart) * 1000.0 / frequency.QuadPart;
        ++samples;
        if (ms > kSlowMs) ++slow;
        if (ms > worst) worst = ms;
        Sleep(kPeriodMs);
    }
    tools::WriteOut(L"samples " + std::to_wstring(samples) + L" max " + OneDecimal(worst) + L" over " +
                    std::to_wstring(slow) + L"\n");
    return samples ? 0 : 1;
}
