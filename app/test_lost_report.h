#pragma once

// Only in the test build of the setup (PeloraSetupCrashTest.exe): lets a test lose the engine's
// reports on their way to the setup window, as when the window's message queue is full. With
// PELORA_TEST_LOSE_REPORT set to a step number, every post of that step fails; set to "error",
// every post of an error fails.
void ArmLostReportForTesting();
