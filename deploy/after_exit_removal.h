#pragma once

#include <string>
#include <vector>

// A running program's own file cannot be deleted while the program runs from it. The uninstaller
// hands its file, and the folders that only it keeps from being empty, to a hidden command
// interpreter of the system, which waits for the file to become free, deletes it and removes the
// folders, each only when empty. Nothing of ours is left running or lying around afterwards.

// The command line given to the interpreter; empty when one of the paths holds a character the
// interpreter would read as something else than a name (" % ^ * ? or a control character).
std::wstring AfterExitCommand(const std::wstring& file, const std::vector<std::wstring>& folders);

// Starts the interpreter on AfterExitCommand. When it cannot be started, the file and then the
// folders are deleted at the next start instead. False when neither could be arranged (logged).
bool RemoveAfterExit(const std::wstring& file, const std::vector<std::wstring>& folders);
