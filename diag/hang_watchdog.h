#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The hang watchdog other modules of the process reach through the exports CVBugMonitor::Start,
// Stop and Activate: it watches one thread, and when that thread has not called Activate for
// longer than the limit it records the thread's state as a hang (exception code 0xC00000FF) in the
// crash information block and composes a hang report in memory, at most three times.
namespace diag {

// Starts watching the calling thread when the process command line carries an argument beginning
// with "/ldd" and no watchdog runs yet: 1 when started, 0 otherwise (nothing starts).
int StartHangWatchdog();
// Stops the watchdog: 1 when one existed, 0 otherwise.
int StopHangWatchdog();
// The watched thread's sign of life.
void ActivateHangWatchdog();

// True when an argument begins with the watchdog's switch (its first four characters compared).
bool HasWatchdogSwitch(const std::vector<std::wstring>& arguments);

// True when the watched thread's last sign of life, at `lastActivityTick`, lies more than
// `limitMs` before `now` (both GetTickCount values). 0 means no sign of life yet: no hang.
bool IsHangOverdue(uint32_t now, uint32_t lastActivityTick, uint32_t limitMs);

// What the watchdog has reported so far in this process: the number of hangs and the last report.
int ReportedHangCount();
std::wstring LastHangReport();

}  // namespace diag
