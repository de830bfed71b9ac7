#include "extract/extract_seams.h"

namespace extract {
namespace {

void SystemRetryWait(DWORD milliseconds) { Sleep(milliseconds); }

bool SystemFreeSpace(const wchar_t* root, std::uint64_t* freeBytes) {
    ULARGE_INTEGER availableToCaller{}, totalBytes{}, totalFree{};
    if (!GetDiskFreeSpaceExW(root, &availableToCaller, &totalBytes, &totalFree)) return false;
    *freeBytes = totalFree.QuadPart;
    return true;
}

RetryWaitFunction g_retryWait = nullptr;
FreeSpaceFunction g_freeSpace = nullptr;

}  // namespace

void SetRetryWaitForTesting(RetryWaitFunction function) { g_retryWait = function; }
void SetFreeSpaceForTesting(FreeSpaceFunction function) { g_freeSpace = function; }

void RetryWait(DWORD milliseconds) {
    (g_retryWait ? g_retryWait : SystemRetryWait)(milliseconds);
}

bool QueryFreeSpace(const wchar_t* root, std::uint64_t* freeBytes) {
    return (g_freeSpace ? g_freeSpace : SystemFreeSpace)(root, freeBytes);
}

}  // namespace extract
