#pragma once

#include "diag/crash_info_block.h"
#include "diag/crash_monitor.h"

namespace diag {

// A new block on the process heap for this process: the header filled from `identity` and this
// process, the five strings behind it (the fifth is the running executable's path). Null when the
// heap has no room. The block is never freed: a crash may come at any time until the process ends.
CrashInfoBlock* CreateCrashInfoBlock(const CrashIdentity& identity);

}  // namespace diag
