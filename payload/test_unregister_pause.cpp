// The uninstaller test build's pause after the unregistration. Never part of PeloraUninst.exe.
#include "payload/test_unregister_pause.h"

#include <string>

#include "app/test_pause_file.h"
#include "deploy/product_removal.h"

namespace {

constexpr wchar_t kPausedVariable[] = L"PELORA_TEST_UNREGISTER_PAUSED";
constexpr wchar_t kResumeVariable[] = L"PELORA_TEST_UNREGISTER_RESUME";

void Pause() { PauseUntilResumed(TestVariable(kPausedVariable), TestVariable(kResumeVariable)); }

}  // namespace

void ArmTestUnregisterPause() {
    if (!TestVariable(kPausedVariable).empty() && !TestVariable(kResumeVariable).empty())
        ProductRemoval::SetPauseAfterUnregistration(Pause);
}
