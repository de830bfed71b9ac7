#pragma once

#include <windows.h>

#include <cstdint>

#include "common/progress_callbacks.h"

// Replaceable system queries of the extraction, so that tests can run the retry and disk-space
// rules without waiting or filling a disk (tests force the Windows version through
// OverrideOsVersionCode in diag/windows_version.h). Passing nullptr restores the real call. Not
// thread-safe: set them before an extraction starts.
namespace extract {

// Waits between two payload attempts (Sleep in slices), ending early once `callback` (may be null)
// reports the run cancelled.
using RetryWaitFunction = void (*)(DWORD milliseconds, IExtractProgressCallback* callback);
// Free bytes available on the drive of `root` (GetDiskFreeSpaceExW, total free bytes).
using FreeSpaceFunction = bool (*)(const wchar_t* root, std::uint64_t* freeBytes);

void SetRetryWaitForTesting(RetryWaitFunction function);
void SetFreeSpaceForTesting(FreeSpaceFunction function);

void RetryWait(DWORD milliseconds, IExtractProgressCallback* callback);
bool QueryFreeSpace(const wchar_t* root, std::uint64_t* freeBytes);

}  // namespace extract
