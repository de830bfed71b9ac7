#pragma once

// Only in the test build of the setup (PeloraSetupCrashTest.exe): lets a test change the world in
// the middle of a folder deletion. With PELORA_TEST_DELETE_PAUSE_AT naming a folder's last name,
// the first deletion of a folder of that name stops once the folder has been checked and opened,
// before anything in it is deleted: it creates the file named by PELORA_TEST_DELETE_PAUSED and
// waits until the file named by PELORA_TEST_DELETE_RESUME exists (two minutes at most).
void ArmTestDeletionPause();
