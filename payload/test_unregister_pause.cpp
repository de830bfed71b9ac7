// The uninstaller test build's pause after the unregistration. Never part of PeloraUninst.exe.
#include "payload/test_unregister_pause.h"

#include <windows.h>

#include <string>

#include "deploy/product_removal.h"
#include "diag/win_handle.h"

namespace {

constexpr wchar_t kPausedVariable[] = L"PELORA_TEST_UNREGISTER_PAUSED";
constexpr wchar_t kResumeVariable[] = L"PELORA_TEST_UNREGISTER_RESUME";
constexpr int kWaitLimitMs = 120000;

std::wstring Variable(const wchar_t* name) {
    wchar_t value[MAX_PATH + 1] = {};
    const DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH + 1);
    return length == 0 || length > MAX_PATH ? std::wstring() : std::wstring(value, length);
}

void Pause() {
    const std::wstring paused = Variable(kPausedVariable);
    const std::wstring resume = Variable(kResumeVariable);
    diag::ScopedHandle flag(
        CreateFileW(paused.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    flag.Reset();
    for (int waited = 0; waited < kWaitLimitMs && GetFileAttributesW(resume.c_str()) == INVALID_FILE_ATTRIBUTES;
         waited += 50)
        Sleep(50);
}

}  // namespace

void ArmTestUnregisterPause() {
    if (!Variable(kPausedVariable).empty() && !Variable(kResumeVariable).empty())
        ProductRemoval::SetPauseAfterUnregistration(Pause);
}
