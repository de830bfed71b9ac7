// The test build's pause before the web component's registration. Never part of the shipped
// PeloraSetup.exe.
#include "app/test_registration_pause.h"

#include <windows.h>

#include "app/test_pause_file.h"

namespace {

constexpr wchar_t kPausedVariable[] = L"PELORA_TEST_REGISTER_PAUSED";
constexpr wchar_t kResumeVariable[] = L"PELORA_TEST_REGISTER_RESUME";

volatile LONG g_paused = 0;

}  // namespace

void PauseBeforeWebComponentForTesting() {
    const std::wstring paused = TestVariable(kPausedVariable);
    if (paused.empty() || InterlockedExchange(&g_paused, 1) != 0) return;
    PauseUntilResumed(paused, TestVariable(kResumeVariable));
}
