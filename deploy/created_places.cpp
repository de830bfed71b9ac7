#include "deploy/created_places.h"

#include <algorithm>
#include <mutex>

#include "deploy/deploy_constants.h"
#include "deploy/file_system.h"
#include "deploy/install_paths.h"
#include "deploy/registry_keys.h"
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

void RemoveFolderWhenEmpty(const std::wstring& folder) {
    if (folder.empty() || !FolderExists(folder)) return;
    if (RemoveEmptyFolder(folder)) {
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
    return WriteMultiStringValue(key.Get(), kValueCreatedPlaces, places) == ERROR_SUCCESS;
}

std::vector<std::wstring> ReadCreatedPlaces(HKEY hive) {
    diag::ScopedRegKey key;
    std::vector<std::wstring> places;
    if (RegOpenKeyExW(hive, deploy::kProductKey, 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS) return places;
    std::vector<std::wstring> listed;
    ReadMultiStringValue(key.Get(), kValueCreatedPlaces, listed);
    for (const std::wstring& name : listed) {
        if (IsKnownPlace(name) && !Lists(places, name.c_str())) places.push_back(name);
    }
    return places;
}

void RemoveCreatedFolders(const std::vector<std::wstring>& places) {
    const std::wstring quickLaunch = QuickLaunchFolder();
    if (Lists(places, kPlaceQuickLaunchFolder)) RemoveFolderWhenEmpty(quickLaunch);
    if (Lists(places, kPlaceInternetExplorerFolder) && !quickLaunch.empty()) {
        RemoveFolderWhenEmpty(WithoutTrailingBackslash(ParentFolder(quickLaunch)));
    }
}

void RemoveCreatedKeys(const std::vector<std::wstring>& places) {
    if (!Lists(places, kPlaceUninstallKey)) return;
    const std::wstring parent = deploy::kUninstallParentKey;
    {
        diag::ScopedRegKey key;
        if (!OpenKeyForReading(HKEY_CURRENT_USER, parent.c_str(), key)) return;
    }
    if (IsEmptyKey(HKEY_CURRENT_USER, parent) && RegDeleteKeyW(HKEY_CURRENT_USER, parent.c_str()) == ERROR_SUCCESS) {
        InstallLog::Format(kLogPlaceRemoved, (L"HKCU\\" + parent).c_str());
    } else {
        InstallLog::Format(kLogPlaceKept, (L"HKCU\\" + parent).c_str());
    }
}
