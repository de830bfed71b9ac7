#pragma once

// Only in the test build of the setup (PeloraSetupCrashTest.exe): with
// PELORA_TEST_ECHO_ACCESS_LISTS set to 1, the service library's folder is checked against the
// access list the setup set on it rather than against what the system reports back. Wine keeps no
// access lists on files, so without this the folder is never found admin-only there and the
// service is never registered; the tests of the registration itself run through it.
void ArmAccessListEchoForTesting();
