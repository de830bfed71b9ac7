// Test tool: creates a volatile registry key, which lives only as long as the prefix's wineserver
// and under which no lasting subkey can be created. A test uses it to play "this part of the
// registry cannot be written" without touching access rights.
//   volatilekey.exe HKLM|HKCU SUBKEY
// Prints "ready" once the key exists as a new volatile key.
// Exit status: 0 when created, 1 when the key already existed (it is then left as it was) or could
// not be created, 2 for a usage error.
#include "tools/console_text.h"

#include <string>

namespace {

bool ParseHive(const std::wstring& name, HKEY* hive) {
    if (name == L"HKLM") *hive = HKEY_LOCAL_MACHINE;
    else if (name == L"HKCU") *hive = HKEY_CURRENT_USER;
    else return false;
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    HKEY hive = nullptr;
    if (argc != 3 || !ParseHive(argv[1], &hive)) {
        tools::WriteErr(L"usage: volatilekey.exe HKLM|HKCU SUBKEY\n");
        return 2;
    }
    HKEY key = nullptr;
    DWORD disposition = 0;
    const LONG result = RegCreateKeyExW(hive, argv[2], 0, nullptr, REG_OPTION_VOLATILE, KEY_READ, nullptr,
                                        &key, &disposition);
    if (result != ERROR_SUCCESS) {
        tools::WriteErr(L"volatilekey: RegCreateKeyExW failed (error " + tools::Decimal(result) + L")\n");
        return 1;
    }
    RegCloseKey(key);
    if (disposition != REG_CREATED_NEW_KEY) {
        tools::WriteErr(L"volatilekey: the key already exists\n");
        return 1;
    }
    tools::WriteOut(L"ready\n");
    return 0;
}
