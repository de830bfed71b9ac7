#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// The uninstall entry "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\映彩直播" as "Programs
// and Features" and deployment tools read it. The setup writes it per user (product_registry.h).

// "UninstallString": the uninstaller's path, in quotes when it holds a blank, so that a reader
// that splits the command at blanks still starts the whole path.
std::wstring UninstallCommand(const std::wstring& uninstallerPath);

// "QuietUninstallString": UninstallCommand followed by the option that removes without a window.
std::wstring QuietUninstallCommand(const std::wstring& uninstallerPath);

// The bytes the install takes: the files below `versionFolder` (links neither entered nor counted,
// at most as many entries as a manifest lists) and the public files present in `productRoot`.
uint64_t InstalledBytes(const std::wstring& versionFolder, const std::wstring& productRoot);

// `bytes` in KiB, rounded up, as "EstimatedSize" holds it (at most 0xFFFFFFFF).
DWORD KibibytesRoundedUp(uint64_t bytes);

// Today's local date as "InstallDate" holds it: "yyyymmdd".
std::wstring InstallDateToday();

// Writes every value of the opened entry `entry` for the install in `versionFolder` below
// `productRoot`: "DisplayIcon" (the launcher), "DisplayName", "DisplayVersion", "Publisher",
// "UninstallString", "QuietUninstallString", "InstallLocation" (the product root without a trailing
// backslash), "EstimatedSize" (REG_DWORD, KiB), "InstallDate", and "NoModify" and "NoRepair"
// (REG_DWORD 1). A value that cannot be written is logged and the others are still written; false
// then.
bool WriteUninstallEntry(HKEY entry, const std::wstring& versionFolder, const std::wstring& productRoot);
