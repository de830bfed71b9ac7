#pragma once

// Only in the test build of the setup (PeloraSetupCrashTest.exe): crashes the calling thread the
// way the environment variable PELORA_TEST_CRASH asks, right after the crash monitor is armed.
// "access": a write to address 0; "filter": the same after installing another unhandled-exception
// filter (one that would end the process with 7); "stack": endless recursion; "threads": three more threads and
// the caller write to address 0 at the same moment; "throw": a std::runtime_error that nobody
// catches; "abort": a call of abort(). Any other value, or none, returns. With
// PELORA_TEST_CRASH_AFTER naming a file, the crash waits until that file exists (two minutes at most).
void ProvokeTestCrash();
