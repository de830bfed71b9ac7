#pragma once

// Only in the test build of the setup (PeloraSetupCrashTest.exe): lets a test swap a file after
// the files are deployed and before the web component is registered. With
// PELORA_TEST_REGISTER_PAUSED set, the first registration of the web component stops before the
// component is checked: it creates the file named by that variable and waits until the file named
// by PELORA_TEST_REGISTER_RESUME exists (two minutes at most).
void PauseBeforeWebComponentForTesting();
