// The test build's stand-in for a file system that keeps access lists. Never part of the shipped
// PeloraSetup.exe.
#include "app/test_access_list_echo.h"

#include "app/test_pause_file.h"
#include "deploy/admin_only_folder.h"

namespace {

constexpr wchar_t kEchoVariable[] = L"PELORA_TEST_ECHO_ACCESS_LISTS";

}  // namespace

void ArmAccessListEchoForTesting() {
    if (TestVariable(kEchoVariable) == L"1") SetAccessListEchoForTesting(true);
}
