#pragma once

#include <string>

// Only in the test builds of the setup and the uninstaller: the handshake by which a test stops a
// run at a chosen moment, changes the world, and lets it go on.

// The value of the environment variable `name`; empty when it is unset or too long for a path.
std::wstring TestVariable(const wchar_t* name);

// Creates the file `paused` and waits until the file `resume` exists, two minutes at most.
void PauseUntilResumed(const std::wstring& paused, const std::wstring& resume);
