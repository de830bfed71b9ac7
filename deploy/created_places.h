#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Places every Windows profile usually has, which the setup makes when a profile lacks them: the
// quick-launch folder (and "Internet Explorer" above it) for the quick-launch shortcut, and the
// per-user "Uninstall" key for the uninstall entry. Whether the setup made one cannot be told
// later, so a run notes the places it made, the per-user product key keeps their names in
// "CreatedPlaces", and the uninstaller removes exactly those, and only when empty. Only names are
// kept: each names one fixed place, so an altered list cannot point anywhere else.

inline constexpr wchar_t kPlaceQuickLaunchFolder[] = L"QuickLaunchFolder";
inline constexpr wchar_t kPlaceInternetExplorerFolder[] = L"InternetExplorerFolder";
inline constexpr wchar_t kPlaceUninstallKey[] = L"UninstallKey";

// Notes, for this process, that the setup made `place` (one of the names above).
void NoteCreatedPlace(const wchar_t* place);
// The places noted so far.
std::vector<std::wstring> NotedPlaces();

// Adds the noted places to "CreatedPlaces" of the product key under `hive` (kept across runs). The
// key is not created; true when there was nothing to add or the value was written.
bool RecordCreatedPlaces(HKEY hive);
// "CreatedPlaces" of the product key under `hive`; unknown names are dropped.
std::vector<std::wstring> ReadCreatedPlaces(HKEY hive);

// Removes the listed folders, deepest first, each only when it is empty and no link.
void RemoveCreatedFolders(const std::vector<std::wstring>& places);
// Removes the listed per-user "Uninstall" key when it holds no entry and no value any more.
void RemoveCreatedKeys(const std::vector<std::wstring>& places);
