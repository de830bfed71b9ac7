#include "diag/process_modules.h"

#include <tlhelp32.h>

#include <cwchar>

#include "diag/win_handle.h"

namespace diag {

std::vector<LoadedModule> ListProcessModules(DWORD processId) {
    std::vector<LoadedModule> modules;
    ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId));
    if (!snapshot.IsValid()) return modules;
    MODULEENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Module32FirstW(snapshot.Get(), &entry); more;
         more = Module32NextW(snapshot.Get(), &entry)) {
        LoadedModule module;
        module.base = reinterpret_cast<uintptr_t>(entry.modBaseAddr);
        module.size = entry.modBaseSize;
        module.path = entry.szExePath;
        modules.push_back(module);
    }
    return modules;
}

const LoadedModule* FindModuleOf(const std::vector<LoadedModule>& modules, uintptr_t address) {
    for (const LoadedModule& module : modules)
        if (address >= module.base && address - module.base < module.size) return &module;
    return nullptr;
}

std::wstring FileVersionText(const std::wstring& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return std::wstring();
    std::vector<BYTE> data(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return std::wstring();
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize) ||
        fixed == nullptr || fixedSize < sizeof(VS_FIXEDFILEINFO))
        return std::wstring();
    wchar_t text[64] = {};
    swprintf(text, 64, L"%d.%d.%d.%d", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
             HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
    return text;
}

std::wstring FormatLinkTime(uint32_t secondsSince1970) {
    // Seconds since 1970 to FILETIME (100-ns units since 1601).
    const ULONGLONG ticks = (static_cast<ULONGLONG>(secondsSince1970) + 11644473600ull) * 10000000ull;
    FILETIME fileTime = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME time = {};
    if (!FileTimeToSystemTime(&fileTime, &time)) return std::wstring();
    wchar_t text[64] = {};
    swprintf(text, 64, L",%04d-%02d-%02d %02d:%02d:%02d GMT", time.wYear, time.wMonth, time.wDay,
             time.wHour, time.wMinute, time.wSecond);
    return text;
}

}  // namespace diag
