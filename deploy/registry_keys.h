#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Registry helpers beside registry_value.h for taking entries back: REG_MULTI_SZ lists, whole keys.

// Reads a REG_MULTI_SZ value as its strings, empty ones left out; false (and `items` empty) when
// the value is missing or of another type.
bool ReadMultiStringValue(HKEY key, const wchar_t* name, std::vector<std::wstring>& items);
// Writes `items` as REG_MULTI_SZ: each string with its NUL, then the NUL that ends the list.
LONG WriteMultiStringValue(HKEY key, const wchar_t* name, const std::vector<std::wstring>& items);

// Deletes `path` below `hive` with its subkeys and values (SHDeleteKeyW, which every Windows
// the setup supports has). ERROR_SUCCESS also when the key was not there.
LONG DeleteKeyTree(HKEY hive, const std::wstring& path);
// True when the key opens and holds neither subkeys nor values.
bool IsEmptyKey(HKEY hive, const std::wstring& path);

// "HKCU", "HKLM" or "HKCR" for the install log; "HKEY" for any other.
const wchar_t* HiveName(HKEY hive);

// What DeleteKeyNaming did with a key.
enum class KeyRemoval {
    Absent,   // there was no key
    Removed,  // it named this install and is gone
    Kept,     // it names something else, or nothing: another install or program owns it (logged)
    Failed,   // it names this install but could not be read or deleted (logged)
};

// Deletes `path` below `hive` with its subkeys when its string value `valueName` names `ours`: the
// path in the value (between its quotes when it is quoted, registered_path.h) is the same file or
// folder as `ours`, however either is spelled. A trailing backslash (or "/") on one side only makes
// them differ unless `ignoreTrailingBackslash` is given. An empty `ours` names nothing.
KeyRemoval DeleteKeyNaming(HKEY hive, const std::wstring& path, const wchar_t* valueName, const std::wstring& ours,
                           bool ignoreTrailingBackslash = false);
