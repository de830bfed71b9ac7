// Stand-in for the web component "WebAPI.dll": self-registration writes, and unregistration
// removes, the value HKCU\Software\CorvaneTest "WebAPI" holding the DLL's own path.
// Built with STANDIN_FOREIGN it is somebody else's library of the same name, for the tests: it
// notes every process that loads it ("loaded=<program>") in ForeignWebAPI.log.
#include <windows.h>

#include "payload/evidence.h"

namespace {

#if defined(STANDIN_FOREIGN)
constexpr wchar_t kProgram[] = L"ForeignWebAPI";
#else
constexpr wchar_t kProgram[] = L"WebAPI";
#endif
constexpr wchar_t kKey[] = L"Software\\CorvaneTest";
constexpr wchar_t kValue[] = L"WebAPI";
HINSTANCE g_module = nullptr;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    g_module = module;
#if defined(STANDIN_FOREIGN)
    wchar_t host[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, host, MAX_PATH);
    standin::Record(kProgram, L"loaded", host);
#endif
    return TRUE;
}

extern "C" __declspec(dllexport) HRESULT __stdcall DllRegisterServer() {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(g_module, self, MAX_PATH);
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return E_FAIL;
    const LONG result = RegSetValueExW(key, kValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(self),
                                       static_cast<DWORD>((lstrlenW(self) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    standin::Record(kProgram, L"register", self);
    return result == ERROR_SUCCESS ? S_OK : E_FAIL;
}

extern "C" __declspec(dllexport) HRESULT __stdcall DllUnregisterServer() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, kValue);
        RegCloseKey(key);
    }
    standin::Record(kProgram, L"unregister", L"1");
    return S_OK;
}
