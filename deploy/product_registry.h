#pragma once

#include <windows.h>

#include <string>

// The product key "SOFTWARE\Corvane\Pelora" (under HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE), the
// first-install channel and the uninstall entry. Every value of the product key is REG_SZ with its
// terminating NUL.

// Writes the product key for `versionFolder` under `hive` and, when `isMachine` is false, the
// uninstall entry under the same hive (uninstall_entry.h). Records the first-install channel once
// (see the .cpp).
// False when the key or one of the values "Lt", "Install" and "DisplayIcon" cannot be written.
bool WriteProductKey(const std::wstring& versionFolder, const std::wstring& channel, HKEY hive,
                     const std::wstring& ltValue, bool isMachine);

// Takes back what WriteProductKey wrote under `hive` for `versionFolder`: the product key when its
// "Install" names `versionFolder` (the same folder however spelled, a trailing backslash ignored;
// with the folder gone, the same full path, short names of the part that still exists expanded),
// and with it the first-install channel key of that hive and then "SOFTWARE\Corvane" when nothing
// else is left in it; when `isMachine` is false also the uninstall entry when its "UninstallString"
// names this install's uninstaller, quoted or not. A key that names another install stays
// (logged). True when nothing of this install is left there (also when nothing was), false when
// something of it could not be removed or `versionFolder` is empty. System files recorded in the
// product key are to be taken back first (system_files.h).
bool DeleteProductKey(const std::wstring& versionFolder, HKEY hive, bool isMachine);

// Writes "Channel" of the first-install channel key under `hive` ("0" for an empty channel).
bool WriteFirstChannel(HKEY hive, const std::wstring& channel);

// "Channel" of the product key: HKEY_LOCAL_MACHINE when that key opens, else HKEY_CURRENT_USER.
std::wstring ReadRegisteredChannel();
// The machine-wide first-install channel; empty when missing.
std::wstring ReadFirstChannel();
// "Install" of the product key, current user first, then local machine: the version folder of
// the installed product; empty when none is registered.
std::wstring ReadInstallFolder();
// Whether the product key (current user, else local machine) holds a version.
bool HasInstalledVersion();
std::wstring ReadInstalledVersion();

// Compares a version text with this build's "1.14.301" number by number (a missing number counts
// as 0): positive when `text` is newer, 0 when equal, negative when older; -1 for null.
int CompareWithThisVersion(const wchar_t* text);
// True when an installed version is registered, is no special build, and is newer than this one.
bool IsNewerVersionInstalled();
