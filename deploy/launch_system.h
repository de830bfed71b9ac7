#pragma once

#include <windows.h>

#include <string>

#include "diag/win_handle.h"

// What starting the client as the logged-on user asks of Windows, one small call each: whether
// the setup program's own token is raised, which process holds the logged-on user's token, a copy
// of that token, the start itself and the wait for its end. The launch (deploy/launch_as_user.h)
// decides; this only does. Tests put in their own to see which token and which way are asked for
// without starting a program with raised rights.
namespace deploy {

class LaunchSystem {
public:
    virtual ~LaunchSystem() = default;
    // Whether the setup program's own token is elevated. False where Windows cannot tell (before
    // Vista there is no raised token); true when the own token cannot be opened (logged), so that
    // an unknown token is never taken for the user's.
    virtual bool IsOwnTokenElevated() = 0;
    // The id of the process that owns the shell window; 0 when there is no shell window.
    virtual DWORD ShellProcessId() = 0;
    // The id of a process "explorer.exe" in the setup program's own session; 0 when none runs.
    virtual DWORD SessionExplorerProcessId() = 0;
    // A primary token copied from the token of process `processId`; none when a step fails (each
    // failure logged).
    virtual diag::ScopedHandle PrimaryTokenOf(DWORD processId) = 0;
    // Starts `exePath` with `commandLine` in `folder`, inheriting no handles: with `token` through
    // CreateProcessWithTokenW, or with the setup program's own token through CreateProcessW when
    // `token` is null. The new process's handle; none when it did not start (logged with the error).
    virtual diag::ScopedHandle StartProgram(HANDLE token, const std::wstring& exePath,
                                            const std::wstring& commandLine, const std::wstring& folder) = 0;
    // Waits at most `milliseconds` for `process` to end; true when it ended.
    virtual bool WaitForEnd(HANDLE process, DWORD milliseconds) = 0;
};

// The one that calls Windows; tests derive from it to replace a single call.
class WindowsLaunchSystem : public LaunchSystem {
public:
    bool IsOwnTokenElevated() override;
    DWORD ShellProcessId() override;
    DWORD SessionExplorerProcessId() override;
    diag::ScopedHandle PrimaryTokenOf(DWORD processId) override;
    diag::ScopedHandle StartProgram(HANDLE token, const std::wstring& exePath, const std::wstring& commandLine,
                                    const std::wstring& folder) override;
    bool WaitForEnd(HANDLE process, DWORD milliseconds) override;
};

// The system the launch uses: the one set for testing, else the Windows one.
LaunchSystem& CurrentLaunchSystem();
// For tests: the system the launch uses instead of Windows (nullptr restores it). The caller keeps
// it alive while it is set; not thread-safe.
void SetLaunchSystemForTesting(LaunchSystem* system);

}  // namespace deploy
