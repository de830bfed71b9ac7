#include "deploy/registry_keys.h"

#include <shlwapi.h>

#include "deploy/registered_path.h"
#include "deploy/registration_removal_constants.h"
#include "deploy/registry_value.h"
#include "diag/install_log.h"

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool EndsInSeparator(const std::wstring& path) { return !path.empty() && IsSeparator(path.back()); }

std::wstring WithoutTrailingSeparators(std::wstring path) {
    while (EndsInSeparator(path)) path.pop_back();
    return path;
}

// Whether the path in the value `named` is `ours`. Without `ignoreTrailingBackslash` a separator
// at the end of one of them only makes them differ, as it does for a file's path.
bool NamesOurs(const std::wstring& named, const std::wstring& ours, bool ignoreTrailingBackslash) {
    const std::wstring path = PathInValue(named);
    if (ignoreTrailingBackslash) return NamesSamePath(WithoutTrailingSeparators(path), WithoutTrailingSeparators(ours));
    return EndsInSeparator(path) == EndsInSeparator(ours) && NamesSamePath(path, ours);
}

}  // namespace

bool ReadMultiStringValue(HKEY key, const wchar_t* name, std::vector<std::wstring>& items) {
    items.clear();
    // The value may change between the two calls; a few rounds settle it.
    for (int round = 0; round < 3; ++round) {
        DWORD type = 0;
        DWORD bytes = 0;
        LONG result = RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes);
        if (result != ERROR_SUCCESS || type != REG_MULTI_SZ) return false;
        // Two spare characters so that a list stored without its closing NULs still ends in them.
        std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 3, L'\0');
        DWORD capacity = static_cast<DWORD>((buffer.size() - 2) * sizeof(wchar_t));
        result = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                                  &capacity);
        if (result == ERROR_MORE_DATA) continue;
        if (result != ERROR_SUCCESS || type != REG_MULTI_SZ) return false;
        const size_t stored = capacity / sizeof(wchar_t);
        for (size_t start = 0; start < stored;) {
            std::wstring item(buffer.data() + start);
            start += item.size() + 1;
            if (!item.empty()) items.push_back(item);
        }
        return true;
    }
    return false;
}

LONG WriteMultiStringValue(HKEY key, const wchar_t* name, const std::vector<std::wstring>& items) {
    std::vector<wchar_t> data;
    for (const std::wstring& item : items) {
        data.insert(data.end(), item.begin(), item.end());
        data.push_back(L'\0');
    }
    data.push_back(L'\0');
    return RegSetValueExW(key, name, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size() * sizeof(wchar_t)));
}

LONG DeleteKeyTree(HKEY hive, const std::wstring& path) {
    const LONG result = SHDeleteKeyW(hive, path.c_str());
    return result == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : result;
}

bool IsEmptyKey(HKEY hive, const std::wstring& path) {
    diag::ScopedRegKey key;
    if (!OpenKeyForReading(hive, path.c_str(), key)) return false;
    DWORD subkeys = 0;
    DWORD values = 0;
    if (RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                         nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    return subkeys == 0 && values == 0;
}

const wchar_t* HiveName(HKEY hive) {
    if (hive == HKEY_CURRENT_USER) return L"HKCU";
    if (hive == HKEY_LOCAL_MACHINE) return L"HKLM";
    if (hive == HKEY_CLASSES_ROOT) return L"HKCR";
    return L"HKEY";
}

KeyRemoval DeleteKeyNaming(HKEY hive, const std::wstring& path, const wchar_t* valueName, const std::wstring& ours,
                           bool ignoreTrailingBackslash) {
    std::wstring named;
    {
        diag::ScopedRegKey key;
        const LONG result = RegOpenKeyExW(hive, path.c_str(), 0, KEY_READ, key.Receive());
        if (result == ERROR_FILE_NOT_FOUND) return KeyRemoval::Absent;
        if (result != ERROR_SUCCESS) {
            InstallLog::Format(deploy::kLogUndoFailed, HiveName(hive), path.c_str(), L"", result);
            return KeyRemoval::Failed;
        }
        ReadStringValue(key.Get(), valueName, named);
    }
    if (!NamesOurs(named, ours, ignoreTrailingBackslash)) {
        InstallLog::Format(deploy::kLogUndoKept, HiveName(hive), path.c_str(), valueName, named.c_str(),
                           ours.c_str());
        return KeyRemoval::Kept;
    }
    const LONG result = DeleteKeyTree(hive, path);
    if (result != ERROR_SUCCESS) {
        InstallLog::Format(deploy::kLogUndoFailed, HiveName(hive), path.c_str(), L"", result);
        return KeyRemoval::Failed;
    }
    InstallLog::Format(deploy::kLogUndoRemoved, HiveName(hive), path.c_str(), L"");
    return KeyRemoval::Removed;
}
