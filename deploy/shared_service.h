#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Registration of the key-press notification service: "VTService.dll" hosted by the shared
// service host (svchost.exe) in a service group of its own. Every routine stops at its first
// failing system call, writes an install-log line naming it and returns false; nothing is retried.

// The whole registration: the host's image path, the svchost group, the service (replacing an
// existing one) and its "Parameters" key naming `dllPath`. False before any registry change when
// `dllPath` is not an existing file.
bool RegisterSharedService(const std::wstring& dllPath);

// Takes the registration back when the service "PeloraService" runs one of `dllPaths` (its
// "ServiceDll", environment strings expanded, is the same file however spelled, registered_path.h):
// stops and deletes the service, then deletes the svchost group value when it lists nothing but
// this service. A service of another dll stays with its group (logged); with no service at all a
// group value listing only this service is removed. True when nothing of this registration is
// left, false when no path is given, the service manager cannot answer, the service is still there
// after its deletion (it may still be running) or the group value cannot be deleted.
bool UnregisterSharedService(const std::vector<std::wstring>& dllPaths);
bool UnregisterSharedService(const std::wstring& dllPath);

// Whether service `name` is registered; false (and `exists` untouched) when the service manager
// cannot answer.
bool ServiceExists(const std::wstring& name, bool& exists);

// Asks service `name` to stop, deletes it and, after half a second, checks that the manager has
// removed it. A service that is still running is only marked for deletion: false then.
bool DeleteServiceAndWait(const std::wstring& name);

// Creates the demand-start, LocalSystem, shared-process service `name`, replacing an existing one,
// then gives it `description` and its access list. False when the old service cannot be removed.
bool CreateSharedService(const std::wstring& name, const std::wstring& displayName,
                         const std::wstring& description, const std::wstring& imagePath);

bool SetServiceDescription(const std::wstring& description, SC_HANDLE service);

// Lets everybody query, start, stop and control the service; reconfiguring it, changing the list
// and deleting it stay with the system and administrators.
bool OpenServiceAccess(SC_HANDLE service);

// Writes the svchost group value `groupName` listing `serviceName` (REG_MULTI_SZ).
bool AddSvchostGroup(const std::wstring& serviceName, const std::wstring& groupName);

// Rebuilds the service's "Parameters" key with "ServiceDll" = `dllPath` (REG_EXPAND_SZ).
bool WriteServiceDll(const std::wstring& serviceName, const std::wstring& dllPath);

// "\"<system folder>\svchost.exe\" -k <groupName>" with the host of the setup program's own
// architecture (for the 32-bit setup the 32-bit system folder); false when the host is missing.
bool HostImagePath(const std::wstring& groupName, std::wstring& imagePath);
