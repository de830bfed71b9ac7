#pragma once

// Only in the uninstaller's test build (PeloraUninstTest.exe): lets a test change the world while
// the removal waits for the web component's unregistration. With PELORA_TEST_UNREGISTER_PAUSED
// and PELORA_TEST_UNREGISTER_RESUME naming two files, the removal, once the unregistration is
// done and before any file goes, creates the first and waits until the second exists (two
// minutes at most).
void ArmTestUnregisterPause();
