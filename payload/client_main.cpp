// Stand-in for the client "Pelora.exe": records its start and shows a plain window until it is
// closed or terminated, so that the setup's running-client checks have something to find.
#include <windows.h>

#include "payload/evidence.h"

namespace {

constexpr wchar_t kProgram[] = L"Pelora";
constexpr wchar_t kWindowClass[] = L"PeloraStandInClient";

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        standin::Record(kProgram, L"closed", L"1");
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    standin::RecordCommandLine(kProgram);
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kWindowClass;
    if (!RegisterClassW(&windowClass)) return 1;
    HWND window = CreateWindowW(kWindowClass, L"Pelora", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, 320, 200, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) return 1;
    ShowWindow(window, show);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
