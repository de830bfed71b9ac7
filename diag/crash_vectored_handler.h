#pragma once

#include <windows.h>

namespace diag {

// Called before any frame handler: takes over at once for heap corruption and stack overflow
// (running the filter on a fresh 64 KiB stack, since the thread's own is used up) and once a crash
// is being handled; every other exception goes its usual way to the unhandled-exception filter.
LONG CALLBACK CrashVectoredHandler(EXCEPTION_POINTERS* pointers);

}  // namespace diag
