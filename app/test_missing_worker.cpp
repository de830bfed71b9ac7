// The test build's worker that cannot be started. Never part of the shipped PeloraSetup.exe.
#include "app/test_missing_worker.h"

#include <windows.h>

#include "app/test_pause_file.h"
#include "app/win_msg_thread.h"

namespace {

constexpr wchar_t kMissingVariable[] = L"PELORA_TEST_NO_WORKER";

HANDLE NoReadyEvent() {
    SetLastError(ERROR_NO_SYSTEM_RESOURCES);
    return nullptr;
}

}  // namespace

void ArmMissingWorkerForTesting() {
    if (TestVariable(kMissingVariable) == L"1") WinMsgThread::SetReadyEventFactoryForTesting(&NoReadyEvent);
}
