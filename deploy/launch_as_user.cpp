#include "deploy/launch_as_user.h"

#include <windows.h>

#include <shellapi.h>

#include <cwchar>

#include "deploy/install_paths.h"
#include "deploy/launch_constants.h"
#include "deploy/scheduled_task.h"
#include "diag/install_log.h"
#include "diag/win_handle.h"
#include "diag/windows_version.h"

namespace {

// Asks for SeTcbPrivilege in `token`; the launch goes on without it, since the setup program's
// own token needs no privilege to start a process.
void EnableTcbPrivilege(HANDLE token) {
    TOKEN_PRIVILEGES privileges = {};
    if (!LookupPrivilegeValueW(nullptr, deploy::kTcbPrivilege, &privileges.Privileges[0].Luid)) {
        InstallLog::Format(deploy::kLogLookupTcbFailed, static_cast<int>(GetLastError()));
        return;
    }
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!AdjustTokenPrivileges(token, FALSE, &privileges, sizeof(privileges), nullptr, nullptr)) {
        InstallLog::Format(deploy::kLogAdjustPrivilegesFailed, static_cast<int>(GetLastError()));
    }
}

void CreateLowProcess(const std::wstring& arguments, const std::wstring& exePath) {
    diag::ScopedHandle token;
    if (!OpenProcessToken(GetCurrentProcess(),
                          TOKEN_ASSIGN_PRIMARY | TOKEN_DUPLICATE | TOKEN_QUERY | TOKEN_ADJUST_PRIVILEGES |
                              TOKEN_ADJUST_DEFAULT,
                          token.Receive())) {
        InstallLog::Format(deploy::kLogOpenProcessTokenFailed, static_cast<int>(GetLastError()));
        return;
    }
    EnableTcbPrivilege(token.Get());

    // The program's own path leads the command line, so that the client finds its arguments where
    // every C runtime and CommandLineToArgvW look for them: after the first token.
    wchar_t commandLine[deploy::kLaunchCommandLineCapacity];
    const int written = _snwprintf(commandLine, deploy::kLaunchCommandLineCapacity, L"\"%s\" %s", exePath.c_str(),
                                   arguments.c_str());
    if (written < 0 || written >= deploy::kLaunchCommandLineCapacity) {
        InstallLog::Format(deploy::kLogLaunchTextTooLong, exePath.c_str());
        return;
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessAsUserW(token.Get(), exePath.c_str(), commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &process)) {
        InstallLog::Format(deploy::kLogCreateProcessAsUserFailed, static_cast<int>(GetLastError()));
        return;
    }
    diag::ScopedHandle processHandle(process.hProcess);
    diag::ScopedHandle threadHandle(process.hThread);
    WaitForSingleObject(processHandle.Get(), INFINITE);
}

void ShellExecuteLaunch(const std::wstring& arguments, const std::wstring& exePath) {
    const std::wstring folder = ParentFolder(exePath);
    const HINSTANCE result = ShellExecuteW(nullptr, nullptr, exePath.c_str(), arguments.c_str(), folder.c_str(), SW_SHOW);
    if (reinterpret_cast<INT_PTR>(result) <= 32) {
        InstallLog::Format(deploy::kLogShellExecuteFailed, exePath.c_str(), static_cast<int>(reinterpret_cast<INT_PTR>(result)));
    }
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
        RunAsUser(exePath, arguments);
        InstallLog::Format(deploy::kLogRunAsUser, exePath.c_str(), arguments.c_str());
    }
    return true;
}
