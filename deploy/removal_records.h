#pragma once

#include <windows.h>

#include <string>
#include <vector>

// What one run leaves in the per-user product key for a later one.
// - "MadeFolders": the folders a setup run made on the way to the product root (the root among
//   them). The uninstaller removes the product root and the folders above it only when they are
//   listed here (or are the default layout's own folders), and only when empty: a folder that was
//   there before the install, even an empty one, stays.
// - "Leftovers": side files of the uninstaller that the next start's list could not take (a
//   standard user cannot write it). The next run of the setup or the uninstaller deletes them.

// Adds `folders` to "MadeFolders" of the product key under `hive`; the key is not created. True
// when there was nothing to add or the value was written.
bool RecordMadeFolders(HKEY hive, const std::vector<std::wstring>& folders);
std::vector<std::wstring> ReadMadeFolders(HKEY hive);

// Adds `paths` to "Leftovers" of the per-user product key, creating the key when it is gone.
bool RecordLeftovers(const std::vector<std::wstring>& paths);
// Deletes the files listed in "Leftovers", each only when it is a side name the uninstaller gives
// (deferred_removal.h) and no link lies on its way; keeps what still cannot go, drops what is
// gone or was never a side file (logged), and removes the value, then the key when nothing else
// is in it.
void RemoveLeftovers();
