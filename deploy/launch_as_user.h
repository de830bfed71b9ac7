#pragma once

#include <string>

// Starts the installed client as the logged-on user rather than with the setup program's possibly
// elevated rights, the way the running Windows allows (by OsVersionCode):
// - Windows 8 and later: CreateProcessAsUserW with the setup program's own token (the command line
//   is the quoted `exePath`, a blank and `arguments`, at most 520 characters), then waits until
//   that process has ended;
// - Windows XP and older: ShellExecuteW with `arguments` in the folder of `exePath`;
// - Windows Vista and 7: a one-shot scheduled task (deploy/scheduled_task.h), which waits at most
//   about 10 s.
// Writes one install-log line naming the way taken, plus one per failure. Returns true: whether
// the client came up is not the installation's concern.
bool LaunchAsUser(const std::wstring& arguments, const std::wstring& exePath);
