#pragma once

#include <string>

// Registration of the client with the shell: the "Pelora:" URL protocol and the start-up entry.

// Registers HKEY_CLASSES_ROOT\Pelora so that "Pelora:" links start `launcherPath`.
bool WriteProtocolInfo(const std::wstring& launcherPath);

// Sets the current user's start-up entry "Pelora" to `commandLine`; an entry that already holds
// the same text in any letter case is left alone.
bool WriteRunEntry(const std::wstring& commandLine);
