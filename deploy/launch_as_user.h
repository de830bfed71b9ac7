#pragma once

#include <string>

// Starts the installed client as the logged-on user, never with the setup program's raised
// rights, the way the running Windows allows (by OsVersionCode):
// - Windows 8 and later: when the setup program's own token is not elevated it already is the
//   user's, and CreateProcessW starts the client with it; when it is elevated, the client starts
//   through CreateProcessWithTokenW with a copy of the shell's token (the process owning the shell
//   window, else "explorer.exe" in the setup program's session), and not at all when neither can
//   be had. The command line is the quoted `exePath`, a blank and `arguments`, at most 520
//   characters; the working folder is that of `exePath`; no handle is inherited.
// - Windows Vista and 7: a one-shot scheduled task (deploy/scheduled_task.h), which waits at most
//   about 10 s; when it was not registered or never ran, the Windows 8 way above.
// - Windows XP and older: ShellExecuteW with `arguments` in the folder of `exePath` (there is no
//   raised token to avoid).
// A started program is waited for at most kLaunchWaitMs (deploy/launch_constants.h); one still
// running then is left running and logged. Writes one install-log line naming the way taken, plus
// one per failure. Returns true: whether the client came up is not the installation's concern.
// The calls to Windows go through deploy/launch_system.h.
bool LaunchAsUser(const std::wstring& arguments, const std::wstring& exePath);
