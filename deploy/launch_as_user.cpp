#include "deploy/launch_as_user.h"

#include <windows.h>

#include <shellapi.h>

#include <cwchar>

#include "deploy/install_paths.h"
#include "deploy/launch_constants.h"
#include "deploy/launch_system.h"
#include "deploy/scheduled_task.h"
#include "diag/install_log.h"
#include "diag/win_handle.h"
#include "diag/windows_version.h"

namespace {

// The program's own path leads the command line, so that the client finds its arguments where
// every C runtime and CommandLineToArgvW look for them: after the first token. False (logged) when
// it does not fit the launch's buffer: a cut line would start something else.
bool LaunchCommandLine(const std::wstring& arguments, const std::wstring& exePath, std::wstring& commandLine) {
    wchar_t buffer[deploy::kLaunchCommandLineCapacity];
    const int written = _snwprintf(buffer, deploy::kLaunchCommandLineCapacity, L"\"%s\" %s", exePath.c_str(),
                                   arguments.c_str());
    if (written < 0 || written >= deploy::kLaunchCommandLineCapacity) {
        InstallLog::Format(deploy::kLogLaunchTextTooLong, exePath.c_str());
        return false;
    }
    commandLine.assign(buffer, static_cast<size_t>(written));
    return true;
}

// The logged-on user's token when the setup program's own is raised: the shell's, else that of
// explorer.exe in the setup program's session. Left empty when the own token is the user's
// already. False (logged) when the own token is raised and no user's token can be had: the
// raised one is never used instead.
bool ChooseUserToken(deploy::LaunchSystem& system, const std::wstring& exePath, diag::ScopedHandle& token) {
    if (!system.IsOwnTokenElevated()) return true;
    const DWORD shell = system.ShellProcessId();
    if (shell != 0) {
        token = system.PrimaryTokenOf(shell);
    } else {
        InstallLog::Format(deploy::kLogNoShellWindow);
    }
    if (!token.IsValid()) {
        const DWORD explorer = system.SessionExplorerProcessId();
        if (explorer != 0 && explorer != shell) token = system.PrimaryTokenOf(explorer);
    }
    if (!token.IsValid()) InstallLog::Format(deploy::kLogNoUserToken, exePath.c_str());
    return token.IsValid();
}

void CreateLowProcess(const std::wstring& arguments, const std::wstring& exePath) {
    std::wstring commandLine;
    if (!LaunchCommandLine(arguments, exePath, commandLine)) return;
    deploy::LaunchSystem& system = deploy::CurrentLaunchSystem();
    diag::ScopedHandle token;
    if (!ChooseUserToken(system, exePath, token)) return;
    const diag::ScopedHandle process = system.StartProgram(token.Get(), exePath, commandLine, ParentFolder(exePath));
    if (!process.IsValid()) return;
    // A launcher that shows a dialog or never ends must not hold the setup's end.
    if (!system.WaitForEnd(process.Get(), deploy::kLaunchWaitMs)) {
        InstallLog::Format(deploy::kLogStillRunning, exePath.c_str(), deploy::kLaunchWaitMs);
    }
}

void ShellExecuteLaunch(const std::wstring& arguments, const std::wstring& exePath) {
    const std::wstring folder = ParentFolder(exePath);
    const HINSTANCE result = ShellExecuteW(nullptr, nullptr, exePath.c_str(), arguments.c_str(), folder.c_str(), SW_SHOW);
    if (reinterpret_cast<INT_PTR>(result) <= 32) {
        InstallLog::Format(deploy::kLogShellExecuteFailed, exePath.c_str(), static_cast<int>(reinterpret_cast<INT_PTR>(result)));
    }
}

// The task of Vista and 7, and the user's token where the scheduler would not run it. A task that
// was seen running has started the program; starting it once more would start it twice.
void TaskLaunch(const std::wstring& arguments, const std::wstring& exePath) {
    if (RunAsUser(exePath, arguments)) return;
    InstallLog::Format(deploy::kLogTaskFallback, exePath.c_str());
    CreateLowProcess(arguments, exePath);
}

}  // namespace

bool LaunchAsUser(const std::wstring& arguments, const std::wstring& exePath) {
    const uint32_t version = OsVersionCode();
    if (version >= deploy::kFirstWindows8VersionCode) {
        CreateLowProcess(arguments, exePath);
        InstallLog::Format(deploy::kLogCreateLowProcess, exePath.c_str(), arguments.c_str());
    } else if (version < deploy::kFirstVistaVersionCode) {
        ShellExecuteLaunch(arguments, exePath);
        InstallLog::Format(deploy::kLogShellExecute, exePath.c_str(), arguments.c_str());
    } else {
        TaskLaunch(arguments, exePath);
        InstallLog::Format(deploy::kLogRunAsUser, exePath.c_str(), arguments.c_str());
    }
    return true;
}
