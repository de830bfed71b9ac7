#pragma once

#include <windows.h>

#include <cstdint>

// Replaceable system queries of the extraction, so that tests can run the retry, disk-space and
// Windows-version rules without waiting, filling a disk or changing Windows. Passing nullptr
// restores the real call. Not thread-safe: set them before an extraction starts.
namespace extract {

// Waits between two payload attempts (Sleep).
using RetryWaitFunction = void (*)(DWORD milliseconds);
// Free bytes available on the drive of `root` (GetDiskFreeSpaceExW, total free bytes).
using FreeSpaceFunction = bool (*)(const wchar_t* root, std::uint64_t* freeBytes);
// Major version of the running Windows (GetVersionExW).
using WindowsMajorVersionFunction = bool (*)(DWORD* majorVersion);

void SetRetryWaitForTesting(RetryWaitFunction function);
void SetFreeSpaceForTesting(FreeSpaceFunction function);
void SetWindowsMajorVersionForTesting(WindowsMajorVersionFunction function);

void RetryWait(DWORD milliseconds);
bool QueryFreeSpace(const wchar_t* root, std::uint64_t* freeBytes);
bool QueryWindowsMajorVersion(DWORD* majorVersion);

}  // namespace extract
