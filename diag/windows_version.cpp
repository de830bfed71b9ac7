#include "diag/windows_version.h"

#include <windows.h>

#include <atomic>

namespace {

std::atomic<uint32_t> g_overrideCode{0};

uint32_t ReadVersionCode() {
    using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    // ntdll is mapped into every process, so no reference needs to be taken or released.
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr) return 0;
    auto rtlGetVersion = reinterpret_cast<RtlGetVersionFunction>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
    if (rtlGetVersion == nullptr) return 0;
    OSVERSIONINFOEXW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    if (rtlGetVersion(&info) != 0) return 0;
    return ((info.dwMajorVersion & 0xFF) << 8) | (info.dwMinorVersion & 0xFF);
}

}  // namespace

uint32_t OsVersionCode() {
    const uint32_t overrideCode = g_overrideCode.load();
    if (overrideCode != 0) return overrideCode;
    // A failed read is not cached, so that the next caller tries again.
    static std::atomic<uint32_t> cached{0};
    uint32_t code = cached.load();
    if (code == 0) {
        code = ReadVersionCode();
        cached.store(code);
    }
    return code;
}

uint32_t OsMajorVersion() {
    const uint32_t overrideCode = g_overrideCode.load();
    if (overrideCode != 0) return overrideCode >> 8;
    // The extended structure first; systems that refuse it still answer the basic one.
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

bool IsVistaOrLater() { return OsVersionCode() >= 0x600; }

void OverrideOsVersionCode(uint32_t code) { g_overrideCode.store(code); }
