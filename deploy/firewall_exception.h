#pragma once

#include <windows.h>

#include <string>

// From <netfw.h>; its identifiers are defined once, in firewall_exception.cpp.
struct INetFwProfile;

// The client's entry among the authorised applications of the Windows Firewall (current profile).
// Failures leave the firewall as it was and only write an install-log line: a missing firewall
// service or a process without the right to change the policy must not stop an install.

// Authorises `exePath` under the display name `name`, unless it is already authorised and
// enabled. Nothing when either is empty. Initialises COM on the calling thread for the call.
void AddFirewallException(const std::wstring& exePath, const std::wstring& name);

// Removes the entry of `exePath`. Nothing when either argument is empty or when `exePath` does not
// exist (the entry of a client that is gone stays).
void RemoveFirewallException(const std::wstring& exePath, const std::wstring& name);

// The same two with the profile taken from `openProfile` instead of the firewall manager.
using FirewallProfileOpener = HRESULT (*)(INetFwProfile** profile);
void AddFirewallException(const std::wstring& exePath, const std::wstring& name, FirewallProfileOpener openProfile);
void RemoveFirewallException(const std::wstring& exePath, const std::wstring& name,
                             FirewallProfileOpener openProfile);

// The building blocks, usable on any INetFwProfile. COM must be initialised.
// The firewall manager's current profile (one reference for the caller).
HRESULT OpenFirewallProfile(INetFwProfile** profile);
// `enabled` is true when `exePath` is listed and enabled; a missing entry is not a failure.
HRESULT IsApplicationAuthorised(INetFwProfile* profile, const std::wstring& exePath, bool& enabled);
HRESULT AuthoriseApplication(INetFwProfile* profile, const std::wstring& exePath, const std::wstring& name);
HRESULT RemoveApplication(INetFwProfile* profile, const std::wstring& exePath);
