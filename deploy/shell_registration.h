#pragma once

#include <string>

// Registration of the client with the shell: the "Pelora:" URL protocol and the start-up entry,
// and taking them back. Each removal takes only an entry that names this install's launcher (the
// same file, however the entry spells it: registered_path.h); one that names another program
// stays, with a log line. A removal is true
// when no entry of this install is left (also when there was none), false when one could not be
// removed or `launcherPath` is empty.

// Registers HKEY_CLASSES_ROOT\Pelora so that "Pelora:" links start `launcherPath`.
bool WriteProtocolInfo(const std::wstring& launcherPath);

// Sets the current user's start-up entry "Pelora" to `commandLine`; an entry that already holds
// the same text in any letter case is left alone.
bool WriteRunEntry(const std::wstring& commandLine);

// Removes the "Pelora" classes key with its subkeys when its "URL Protocol" is `launcherPath`, in
// the user's classes and in the machine's, wherever the key written through HKEY_CLASSES_ROOT is.
bool DeleteProtocolInfo(const std::wstring& launcherPath);

// Deletes the current user's start-up entry "Pelora" when the program it starts (its first token,
// quoted or not) is `launcherPath`.
bool DeleteRunEntry(const std::wstring& launcherPath);
