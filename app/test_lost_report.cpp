// The test build's lost reports. Never part of the shipped PeloraSetup.exe.
#include "app/test_lost_report.h"

#include <windows.h>

#include <cwchar>
#include <string>

#include "app/test_pause_file.h"
#include "ui/install_ui_manager.h"
#include "ui/setup_messages.h"

namespace {

constexpr wchar_t kLoseVariable[] = L"PELORA_TEST_LOSE_REPORT";
constexpr wchar_t kErrorValue[] = L"error";

bool g_loseErrors = false;
WPARAM g_lostStep = 0;
bool g_loseStep = false;

BOOL WINAPI LosingPost(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const bool lost = (message == WM_SETUP_ERROR && g_loseErrors) ||
                      (message == WM_SETUP_STEP && g_loseStep && wParam == g_lostStep);
    if (!lost) return PostMessageW(window, message, wParam, lParam);
    SetLastError(ERROR_NOT_ENOUGH_QUOTA);
    return FALSE;
}

}  // namespace

void ArmLostReportForTesting() {
    const std::wstring value = TestVariable(kLoseVariable);
    if (value.empty()) return;
    if (value == kErrorValue) {
        g_loseErrors = true;
    } else {
        g_loseStep = true;
        g_lostStep = static_cast<WPARAM>(std::wcstoul(value.c_str(), nullptr, 10));
    }
    InstallUIManager::SetPostForTesting(&LosingPost);
}
