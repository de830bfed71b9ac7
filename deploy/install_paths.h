#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// The folders the setup program works with, and the checks of a folder chosen for the install.
// Every folder derived from the application-data folder is empty when that folder is unknown.

// ---- Folders -------------------------------------------------------------------------------
// A shell special folder (CSIDL_*); empty when the shell cannot resolve it.
std::wstring SpecialFolder(int csidl);
// The current user's roaming application data (CSIDL_APPDATA).
std::wstring AppDataFolder();
// {appData}\Corvane\Pelora\App: the product root when no install folder is given.
std::wstring DefaultProductRoot();
// {appData}\Corvane\Pelora\Misc: holds the saved install options.
std::wstring MiscFolder();
// {appData}\Corvane\Pelora\AUTemp: the updater's temporary folder (crash reporter copies).
std::wstring UpdateTempFolder();
// {appData}\Corvane\PeloraProgs
std::wstring ProgramsFolder();
// {appData}\Corvane\Pelora\AuUpdate\ (with the trailing backslash)
std::wstring UpdateFolder();
// {appData}\Corvane\Logs\PeloraInstall.txt
std::wstring InstallLogPath();
// {appData}\Corvane\STemp: parent of the staging folders.
std::wstring StagingRootFolder();
// {appData}\Microsoft\Internet Explorer\Quick Launch
std::wstring QuickLaunchFolder();
std::wstring DesktopFolder();
std::wstring ProgramsMenuFolder();
std::wstring CommonProgramsMenuFolder();
// The users' data folder: My Documents\Corvane Files\ from Windows Vista on (My Documents is
// created when missing), {installFolder}\Users\ below Vista.
std::wstring UserDataFolder(const std::wstring& installFolder);
// The folder of the running setup executable, with its trailing backslash.
std::wstring SetupFolder();

// ---- Path text -----------------------------------------------------------------------------
// The part after the last backslash; empty when the path ends in "\" or ":".
std::wstring LastComponent(const std::wstring& path);
// The path without its last component, trailing backslash kept ("C:\a\b" gives "C:\a\").
std::wstring ParentFolder(const std::wstring& path);
// The path without trailing backslashes; a drive root keeps its own ("C:\\" stays "C:\\").
std::wstring WithoutTrailingBackslash(std::wstring path);
// folder + name with exactly the separator needed; name alone when folder is empty.
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);
// True when `folder` is a proper ancestor of `path` (exact, case-sensitive comparison).
bool IsInsideFolder(const std::wstring& path, const std::wstring& folder);

// ---- Drives --------------------------------------------------------------------------------
// True for a full path on a fixed drive ("X:\" followed by at least one name) whose names hold
// no control character and none of " * / < > ? \ |. One trailing backslash is allowed. Relative
// paths, bare roots, "." and ".." (or any name of dots and blanks only) and paths of 260
// characters or more are refused.
bool IsValidInstallPath(const std::wstring& path);
// GetDriveTypeW of the path's root; 0 when the path has no root. Logs the root.
UINT DriveTypeOf(const std::wstring& path);
// Free bytes of the volume holding `path` (all free bytes, not the caller's quota) into
// `freeBytes`, and the amount as the text the log shows ("572.2M", "10.0G", "0M"). Empty text and 0
// bytes when the volume cannot be read.
std::wstring FreeSpace(const std::wstring& path, uint64_t& freeBytes);
// The text FreeSpace gives for `bytes`.
std::wstring FormatFreeSpace(uint64_t bytes);

// ---- Users ---------------------------------------------------------------------------------
// The number of the first all-digit subfolder of the users' data folder; 0 when there is none.
int FindUserNumber(const std::wstring& installFolder);

// Lets the user pick a folder (the caller's thread must have OLE initialised) and proposes
// {picked}\Pelora; empty when the user cancels.
std::wstring BrowseForInstallFolder(HWND owner, const std::wstring& title);
