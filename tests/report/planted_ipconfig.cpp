// Stands in for an "ipconfig.exe" somebody left in a program's folder or in the current folder:
// it prints one adapter with an address no real adapter has, and leaves a file beside itself as
// proof that it ran.
#include <windows.h>

#include <cstdio>
#include <string>

#include "diag/win_handle.h"

int main() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 2;
    std::wstring evidence(path, length);
    evidence = evidence.substr(0, evidence.find_last_of(L'\\') + 1) + L"planted_ipconfig_ran";
    diag::ScopedHandle file(CreateFileW(evidence.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    std::printf("Ethernet adapter Planted:\r\n\r\n"
                "   Description . . . . . . . . . . . : Planted Adapter\r\n"
                "   Physical Address. . . . . . . . . : 02-BA-DB-AD-00-01\r\n");
    return file.IsValid() ? 0 : 3;
}
