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

bool SystemWindowsMajorVersion(DWORD* majorVersion) {
    // The extended structure first; systems that refuse it still answer the basic one.
    OSVERSIONINFOEXW extended{};
    extended.dwOSVersionInfoSize = sizeof(extended);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&extended))) {
        *majorVersion = extended.dwMajorVersion;
        return true;
    }
    OSVERSIONINFOW basic{};
    basic.dwOSVersionInfoSize = sizeof(basic);
    if (GetVersionExW(&basic)) {
        *majorVersion = basic.dwMajorVersion;
        return true;
    }
#pragma GCC diagnostic pop
    return false;
}

RetryWaitFunction g_retryWait = nullptr;
FreeSpaceFunction g_freeSpace = nullptr;
WindowsMajorVersionFunction g_windowsMajorVersion = nullptr;

}  // namespace

void SetRetryWaitForTesting(RetryWaitFunction function) { g_retryWait = function; }
void SetFreeSpaceForTesting(FreeSpaceFunction function) { g_freeSpace = function; }
void SetWindowsMajorVersionForTesting(WindowsMajorVersionFunction function) {
    g_windowsMajorVersion = function;
}

void RetryWait(DWORD milliseconds) {
    (g_retryWait ? g_retryWait : SystemRetryWait)(milliseconds);
}

bool QueryFreeSpace(const wchar_t* root, std::uint64_t* freeBytes) {
    return (g_freeSpace ? g_freeSpace : SystemFreeSpace)(root, freeBytes);
}

bool QueryWindowsMajorVersion(DWORD* majorVersion) {
    return (g_windowsMajorVersion ? g_windowsMajorVersion : SystemWindowsMajorVersion)(majorVersion);
}

}  // namespace extract
