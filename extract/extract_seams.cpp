#include "extract/extract_seams.h"

#include "extract/extract_constants.h"

namespace extract {
namespace {

void SystemRetryWait(DWORD milliseconds, IExtractProgressCallback* callback) {
    const DWORD start = GetTickCount();
    for (DWORD waited = 0; waited < milliseconds; waited = GetTickCount() - start) {
        if (callback && callback->IsCancelled()) return;
        const DWORD left = milliseconds - waited;
        Sleep(left < kCancelPollMs ? left : kCancelPollMs);
    }
}

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

void RetryWait(DWORD milliseconds, IExtractProgressCallback* callback) {
    (g_retryWait ? g_retryWait : SystemRetryWait)(milliseconds, callback);
}

bool QueryFreeSpace(const wchar_t* root, std::uint64_t* freeBytes) {
    return (g_freeSpace ? g_freeSpace : SystemFreeSpace)(root, freeBytes);
}

}  // namespace extract
