#include "app/os_version.h"

#include <windows.h>

#include <atomic>

namespace {

using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOEXW*);

uint32_t ReadVersionCode() {
    HMODULE ntdll = LoadLibraryW(L"ntdll.dll");
    if (!ntdll) return 0;
    uint32_t code = 0;
    auto rtlGetVersion = reinterpret_cast<RtlGetVersionFunction>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
    if (rtlGetVersion) {
        OSVERSIONINFOEXW info = {};
        info.dwOSVersionInfoSize = sizeof(info);  // 284
        if (rtlGetVersion(&info) == 0) {
            code = ((info.dwMajorVersion & 0xFF) << 8) | (info.dwMinorVersion & 0xFF);
        }
    }
    FreeLibrary(ntdll);
    return code;
}

}  // namespace

uint32_t OsVersionCode() {
    static std::atomic<uint32_t> cached{0};
    uint32_t code = cached.load();
    if (code == 0) {
        code = ReadVersionCode();
        cached.store(code);
    }
    return code;
}

uint32_t OsMajorVersion() {
    OSVERSIONINFOEXW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) {
        info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
        if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) return 0;
    }
#pragma GCC diagnostic pop
    return info.dwMajorVersion;
}
