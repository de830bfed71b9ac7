#include "deploy/removal_records.h"

#include <cwctype>

#include "deploy/deploy_constants.h"
#include "deploy/file_system.h"
#include "deploy/files/path_identity.h"
#include "deploy/install_paths.h"
#include "deploy/registry_keys.h"
#include "deploy/removal_constants.h"
#include "diag/install_log.h"
#include "diag/win_handle.h"

namespace {

constexpr wchar_t kValueMadeFolders[] = L"MadeFolders";
constexpr wchar_t kValueLeftovers[] = L"Leftovers";
// "~" and sixteen hexadecimal digits end every side name the uninstaller gives.
constexpr size_t kSideSuffixLength = 17;

std::vector<std::wstring> ReadList(HKEY hive, const wchar_t* value) {
    std::vector<std::wstring> items;
    diag::ScopedRegKey key;
    if (RegOpenKeyExW(hive, deploy::kProductKey, 0, KEY_QUERY_VALUE, key.Receive()) == ERROR_SUCCESS)
        ReadMultiStringValue(key.Get(), value, items);
    return items;
}

bool AddToList(HKEY key, const wchar_t* value, const std::vector<std::wstring>& additions) {
    std::vector<std::wstring> items;
    ReadMultiStringValue(key, value, items);
    for (const std::wstring& addition : additions) {
        bool listed = false;
        for (const std::wstring& item : items) listed = listed || files::IsSameObject(item, addition);
        if (!listed) items.push_back(addition);
    }
    return WriteMultiStringValue(key, value, items) == ERROR_SUCCESS;
}

bool EndsInSideSuffix(const std::wstring& name) {
    if (name.size() <= kSideSuffixLength || name[name.size() - kSideSuffixLength] != L'~') return false;
    for (size_t i = name.size() - kSideSuffixLength + 1; i < name.size(); ++i) {
        if (!iswxdigit(name[i])) return false;
    }
    return true;
}

}  // namespace

bool RecordMadeFolders(HKEY hive, const std::vector<std::wstring>& folders) {
    if (folders.empty()) return true;
    diag::ScopedRegKey key;
    if (RegOpenKeyExW(hive, deploy::kProductKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, key.Receive()) != ERROR_SUCCESS)
        return false;
    return AddToList(key.Get(), kValueMadeFolders, folders);
}

std::vector<std::wstring> ReadMadeFolders(HKEY hive) { return ReadList(hive, kValueMadeFolders); }

bool RecordLeftovers(const std::vector<std::wstring>& paths) {
    diag::ScopedRegKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, deploy::kProductKey, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                        nullptr, key.Receive(), nullptr) != ERROR_SUCCESS)
        return false;
    for (const std::wstring& path : paths) InstallLog::Format(deploy::kLogLeftoverRecorded, path.c_str());
    return AddToList(key.Get(), kValueLeftovers, paths);
}

void RemoveLeftovers() {
    const std::vector<std::wstring> listed = ReadList(HKEY_CURRENT_USER, kValueLeftovers);
    if (listed.empty()) return;
    std::vector<std::wstring> kept;
    for (const std::wstring& path : listed) {
        // An edited list could name anything: only the uninstaller's own side files are deleted.
        if (!EndsInSideSuffix(LastComponent(path)) || !FileExists(path)) {
            if (FileOrFolderExists(path)) InstallLog::Format(deploy::kLogLeftoverRefused, path.c_str());
            continue;
        }
        if (RefuseLinkOnPath(path) && DeleteHeldPath(path, std::wstring())) {
            InstallLog::Format(deploy::kLogLeftoverRemoved, path.c_str());
        } else {
            kept.push_back(path);
        }
    }
    diag::ScopedRegKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, deploy::kProductKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, key.Receive()) !=
        ERROR_SUCCESS)
        return;
    if (!kept.empty()) {
        WriteMultiStringValue(key.Get(), kValueLeftovers, kept);
        return;
    }
    RegDeleteValueW(key.Get(), kValueLeftovers);
    key.Reset();
    if (IsEmptyKey(HKEY_CURRENT_USER, deploy::kProductKey)) RegDeleteKeyW(HKEY_CURRENT_USER, deploy::kProductKey);
}
