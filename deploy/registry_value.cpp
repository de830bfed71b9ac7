#include "deploy/registry_value.h"

#include <vector>

bool OpenOrCreateKey(HKEY hive, const wchar_t* path, diag::ScopedRegKey& key) {
    if (RegOpenKeyExW(hive, path, 0, KEY_WRITE, key.Receive()) == ERROR_SUCCESS) return true;
    return RegCreateKeyW(hive, path, key.Receive()) == ERROR_SUCCESS;
}

bool OpenKeyForReading(HKEY hive, const wchar_t* path, diag::ScopedRegKey& key) {
    return RegOpenKeyExW(hive, path, 0, KEY_READ, key.Receive()) == ERROR_SUCCESS;
}

LONG WriteStringValue(HKEY key, const wchar_t* name, const std::wstring& data) {
    DWORD bytes = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()), bytes);
}

LONG WriteDwordValue(HKEY key, const wchar_t* name, DWORD data) {
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof(data));
}

bool ReadStringValue(HKEY key, const wchar_t* name, std::wstring& data) {
    data.clear();
    // The value may change between the two calls; a few rounds settle it.
    for (int round = 0; round < 3; ++round) {
        DWORD type = 0;
        DWORD bytes = 0;
        LONG result = RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes);
        if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
        // One spare character so that a value stored without its NUL still ends in one.
        std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 2, L'\0');
        DWORD capacity = static_cast<DWORD>((buffer.size() - 1) * sizeof(wchar_t));
        result = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                                  &capacity);
        if (result == ERROR_MORE_DATA) continue;
        if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
        data.assign(buffer.data());
        return true;
    }
    return false;
}
