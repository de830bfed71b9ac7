#include "deploy/retry_pause.h"

#include <windows.h>

namespace {

void SleepPause(unsigned long milliseconds) { Sleep(milliseconds); }

// Set only by tests before any deployment runs; read on the worker thread.
RetryPauseFunction g_pause = SleepPause;

}  // namespace

void PauseBeforeRetry(unsigned long milliseconds) { g_pause(milliseconds); }

RetryPauseFunction SetRetryPauseFunction(RetryPauseFunction pause) {
    RetryPauseFunction previous = g_pause;
    g_pause = pause != nullptr ? pause : SleepPause;
    return previous;
}
