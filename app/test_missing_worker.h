#pragma once

// Only in the test build of the setup (PeloraSetupCrashTest.exe): with PELORA_TEST_NO_WORKER set to
// 1, the engine's worker thread cannot be started (its ready event cannot be made), so that a test
// sees what the setup does when its engine never runs.
void ArmMissingWorkerForTesting();
