#include "deploy/created_places.h"

#include <algorithm>
#include <mutex>

#include "deploy/deploy_constants.h"
#include "deploy/file_system.h"
#include "deploy/install_paths.h"
#include "deploy/registry_value.h"
#include "diag/install_log.h"
#include "diag/win_handle.h"

namespace {

constexpr wchar_t kValueCreatedPlaces[] = L"CreatedPlaces";
constexpr wchar_t kLogPlaceRemoved[] = L"[uninstall]removed %s, which the setup had made\r\n";
constexpr wchar_t kLogPlaceKept[] = L"[uninstall]kept %s, which the setup had made: it is in use now\r\n";

std::mutex g_lock;
std::vector<std::wstring> g_noted;

bool IsKnownPlace(const std::wstring& name) {
    return name == kPlaceQuickLaunchFolder || name == kPlaceInternetExplorerFolder || name == kPlaceUninstallKey;
}

bool Lists(const std::vector<std::wstring>& places, const wchar_t* place) {
    return std::find(places.begin(), places.end(), place) != places.end();
}

std::vector<std::wstring> SplitMultiString(const std::wstring& data) {
    std::vector<std::wstring> parts;
    for (size_t start = 0; start < data.size();) {
        const size_t end = data.find(L'\0', start);
        const std::wstring part = data.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        if (!part.empty()) parts.push_back(part);
        if (end == std::wstring::npos) break;
        start = end + 1;
    }
    return parts;
}

std::wstring ReadMultiString(HKEY key, const wchar_t* name) {
    DWORD type = 0;
    DWORD bytes = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS || type != REG_MULTI_SZ)
        return std::wstring();
    std::wstring data(bytes / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&data[0]), &bytes) != ERROR_SUCCESS)
        return std::wstring();
    data.resize(bytes / sizeof(wchar_t));
    return data;
}

void RemoveFolderWhenEmpty(const std::wstring& folder) {
    if (folder.empty() || !FolderExists(folder) || IsLink(folder)) return;
    if (RemoveDirectoryW(folder.c_str())) {
        InstallLog::Format(kLogPlaceRemoved, folder.c_str());
    } else {
        InstallLog::Format(kLogPlaceKept, folder.c_str());
    }
}

}  // namespace

void NoteCreatedPlace(const wchar_t* place) {
    std::lock_guard<std::mutex> hold(g_lock);
    if (!Lists(g_noted, place)) g_noted.push_back(place);
}

std::vector<std::wstring> NotedPlaces() {
    std::lock_guard<std::mutex> hold(g_lock);
    return g_noted;
}

bool RecordCreatedPlaces(HKEY hive) {
    const std::vector<std::wstring> noted = NotedPlaces();
    if (noted.empty()) return true;
    diag::ScopedRegKey key;
    if (RegOpenKeyExW(hive, deploy::kProductKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, key.Receive()) != ERROR_SUCCESS)
        return false;
    std::vector<std::wstring> places = ReadCreatedPlaces(hive);
    for (const std::wstring& place : noted) {
        if (!Lists(places, place.c_str())) places.push_back(place);
    }
    std::wstring data;
    for (const std::wstring& place : places) data += place + L'\0';
    data += L'\0';
    return RegSetValueExW(key.Get(), kValueCreatedPlaces, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                          static_cast<DWORD>(data.size() * sizeof(wchar_t))) == ERROR_SUCCESS;
}

std::vector<std::wstring> ReadCreatedPlaces(HKEY hive) {
    diag::ScopedRegKey key;
    std::vector<std::wstring> places;
    if (RegOpenKeyExW(hive, deploy::kProductKey, 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS) return places;
    for (const std::wstring& name : SplitMultiString(ReadMultiString(key.Get(), kValueCreatedPlaces))) {
        if (IsKnownPlace(name) && !Lists(places, name.c_str())) places.push_back(name);
    }
    return places;
}

void RemoveCreatedFolders(const std::vector<std::wstring>& places) {
    const std::wstring quickLaunch = QuickLaunchFolder();
    if (Lists(places, kPlaceQuickLaunchFolder)) RemoveFolderWhenEmpty(quickLaunch);
    if (Lists(places, kPlaceInternetExplorerFolder) && !quickLaunch.empty()) {
        std::wstring parent = ParentFolder(quickLaunch);
        if (!parent.empty() && parent.back() == L'\\') parent.pop_back();
        RemoveFolderWhenEmpty(parent);
    }
}

void RemoveCreatedKeys(const std::vector<std::wstring>& places) {
    if (!Lists(places, kPlaceUninstallKey)) return;
    const std::wstring parent = deploy::kUninstallParentKey;
    diag::ScopedRegKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, parent.c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) return;
    DWORD subkeys = 0;
    DWORD values = 0;
    const bool empty = RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                                        nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
                       subkeys == 0 && values == 0;
    key.Reset();
    if (empty && RegDeleteKeyW(HKEY_CURRENT_USER, parent.c_str()) == ERROR_SUCCESS) {
        InstallLog::Format(kLogPlaceRemoved, (L"HKCU\\" + parent).c_str());
    } else {
        InstallLog::Format(kLogPlaceKept, (L"HKCU\\" + parent).c_str());
    }
}
