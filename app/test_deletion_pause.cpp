// The test build's pause inside a folder deletion. Never part of the shipped PeloraSetup.exe.
#include "app/test_deletion_pause.h"

#include <windows.h>

#include <string>

#include "deploy/files/tree_deletion.h"
#include "diag/win_handle.h"

namespace {

constexpr wchar_t kPauseAtVariable[] = L"PELORA_TEST_DELETE_PAUSE_AT";
constexpr wchar_t kPausedVariable[] = L"PELORA_TEST_DELETE_PAUSED";
constexpr wchar_t kResumeVariable[] = L"PELORA_TEST_DELETE_RESUME";
constexpr int kWaitLimitMs = 120000;

std::wstring Variable(const wchar_t* name) {
    wchar_t value[MAX_PATH + 1] = {};
    const DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH + 1);
    return length == 0 || length > MAX_PATH ? std::wstring() : std::wstring(value, length);
}

volatile LONG g_paused = 0;

void PauseOnce(const std::wstring& folder) {
    const std::wstring wanted = Variable(kPauseAtVariable);
    const size_t slash = folder.find_last_of(L'\\');
    const std::wstring name = slash == std::wstring::npos ? folder : folder.substr(slash + 1);
    if (wanted.empty() || lstrcmpiW(name.c_str(), wanted.c_str()) != 0) return;
    if (InterlockedExchange(&g_paused, 1) != 0) return;
    const std::wstring paused = Variable(kPausedVariable);
    const std::wstring resume = Variable(kResumeVariable);
    diag::ScopedHandle flag(CreateFileW(paused.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    flag.Reset();
    for (int waited = 0; waited < kWaitLimitMs && GetFileAttributesW(resume.c_str()) == INVALID_FILE_ATTRIBUTES;
         waited += 50)
        Sleep(50);
}

}  // namespace

void ArmTestDeletionPause() {
    if (!Variable(kPauseAtVariable).empty()) files::SetDeletionPause(PauseOnce);
}
