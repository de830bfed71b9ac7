#pragma once

// The pauses between copy attempts of a locked file. Tests replace the pause so that a file that
// stays locked does not cost them the full five seconds.
using RetryPauseFunction = void (*)(unsigned long milliseconds);

void PauseBeforeRetry(unsigned long milliseconds);
// Installs `pause` (null restores Sleep) and returns the previous function.
RetryPauseFunction SetRetryPauseFunction(RetryPauseFunction pause);
