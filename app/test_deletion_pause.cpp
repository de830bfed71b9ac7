// The test build's pause inside a folder deletion. Never part of the shipped PeloraSetup.exe.
#include "app/test_deletion_pause.h"

#include <windows.h>

#include <string>

#include "app/test_pause_file.h"
#include "deploy/files/tree_deletion.h"

namespace {

constexpr wchar_t kPauseAtVariable[] = L"PELORA_TEST_DELETE_PAUSE_AT";
constexpr wchar_t kPausedVariable[] = L"PELORA_TEST_DELETE_PAUSED";
constexpr wchar_t kResumeVariable[] = L"PELORA_TEST_DELETE_RESUME";

volatile LONG g_paused = 0;

void PauseOnce(const std::wstring& folder) {
    const std::wstring wanted = TestVariable(kPauseAtVariable);
    const size_t slash = folder.find_last_of(L'\\');
    const std::wstring name = slash == std::wstring::npos ? folder : folder.substr(slash + 1);
    if (wanted.empty() || lstrcmpiW(name.c_str(), wanted.c_str()) != 0) return;
    if (InterlockedExchange(&g_paused, 1) != 0) return;
    PauseUntilResumed(TestVariable(kPausedVariable), TestVariable(kResumeVariable));
}

}  // namespace

void ArmTestDeletionPause() {
    if (!TestVariable(kPauseAtVariable).empty()) files::SetDeletionPause(PauseOnce);
}
