// The hang watchdog as other modules of the process reach it: exported from the setup program as
// "CVBugMonitor::Start", "CVBugMonitor::Stop" and "CVBugMonitor::Activate" (PeloraSetup.def), each
// without arguments. The program never calls them itself.
#include "diag/hang_watchdog.h"

extern "C" {

int CVBugMonitorStart() { return diag::StartHangWatchdog(); }

int CVBugMonitorStop() { return diag::StopHangWatchdog(); }

void CVBugMonitorActivate() { diag::ActivateHangWatchdog(); }

}  // extern "C"
