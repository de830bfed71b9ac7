#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Finding and ending the running client ("Pelora.exe") and its updater ("vtupd.exe") before the
// product's files are replaced. A process counts as the client only by where its executable
// lies; one of the same name elsewhere is somebody else's and is left alone.

// What one check looks for; built by the caller.
struct ClientProcessFilter {
    std::wstring newVersionFolder;  // the version folder being installed
    std::wstring oldVersionFolder;  // the installed version folder; may be empty
    std::wstring ownedFolder;       // a folder whose whole content counts as the product's; may be empty
    std::wstring updaterIni;        // ini naming a further install root ("Current"/"strVoctoPath"); may be empty
    bool matchNewFolder = false;    // also search the new version folder and ignore the updater
};

// True when the process runs `exeName` from {old version folder}\Bin (or the new one, with
// matchNewFolder), from the updater's install root, or from anywhere below the owned folder.
bool IsClientProcess(const std::wstring& exeName, DWORD processId, const ClientProcessFilter& filter);

// The ids of the client processes named `exeName` and, unless matchNewFolder, of every running
// updater. True when any was found.
bool FindClientProcesses(const std::wstring& exeName, const ClientProcessFilter& filter,
                         std::vector<DWORD>& processIds);

// 0 when nothing runs, 1 when the client runs, 3 when the updater runs (unless matchNewFolder).
int IsClientRunning(const ClientProcessFilter& filter);

// Ends every process FindClientProcesses finds and waits a moment for them to be gone. False at
// the first process that cannot be ended.
bool TerminateClientProcesses(const std::wstring& exeName, const ClientProcessFilter& filter);
