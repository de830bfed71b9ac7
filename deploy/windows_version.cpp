#include "deploy/windows_version.h"

#include <windows.h>

namespace {

unsigned int g_override = 0;

unsigned int ReadVersionCode() {
    using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    auto rtlGetVersion = ntdll != nullptr ? reinterpret_cast<RtlGetVersionFunction>(
                                                reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
                                          : nullptr;
    if (rtlGetVersion == nullptr || rtlGetVersion(&info) != 0) return 0;
    return (info.dwMajorVersion << 8) | (info.dwMinorVersion & 0xFF);
}

}  // namespace

unsigned int WindowsVersionCode() {
    if (g_override != 0) return g_override;
    static const unsigned int code = ReadVersionCode();
    return code;
}

bool IsVistaOrLater() { return WindowsVersionCode() >= 0x600; }

void OverrideWindowsVersionCode(unsigned int code) { g_override = code; }
