#include "deploy/launch_system.h"

#include <tlhelp32.h>

#include "deploy/launch_constants.h"
#include "diag/install_log.h"

namespace deploy {
namespace {

LaunchSystem* g_testSystem = nullptr;

using CreateProcessWithTokenFunction = BOOL(WINAPI*)(HANDLE token, DWORD logonFlags, LPCWSTR applicationName,
                                                      LPWSTR commandLine, DWORD creationFlags, LPVOID environment,
                                                      LPCWSTR currentDirectory, LPSTARTUPINFOW startupInfo,
                                                      LPPROCESS_INFORMATION processInformation);

CreateProcessWithTokenFunction CreateProcessWithTokenEntry() {
    const HMODULE advapi = GetModuleHandleW(kAdvapiLibrary);
    if (!advapi) return nullptr;
    return reinterpret_cast<CreateProcessWithTokenFunction>(
        reinterpret_cast<void*>(GetProcAddress(advapi, kCreateProcessWithTokenName)));
}

DWORD OwnSessionId() {
    DWORD session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    return session;
}

void LogTokenStep(DWORD processId, const wchar_t* step) {
    InstallLog::Format(kLogUserTokenStepFailed, static_cast<unsigned long>(processId), step,
                       static_cast<int>(GetLastError()));
}

// A handle to process `processId` that lets its token be opened. The limited right suffices from
// Vista on and reaches more processes; before Vista only the full one exists.
diag::ScopedHandle OpenForToken(DWORD processId) {
    diag::ScopedHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process.IsValid()) process.Reset(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId));
    return process;
}

}  // namespace

bool WindowsLaunchSystem::IsOwnTokenElevated() {
    diag::ScopedHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive())) {
        InstallLog::Format(kLogOpenProcessTokenFailed, static_cast<int>(GetLastError()));
        return true;
    }
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    if (!GetTokenInformation(token.Get(), TokenElevation, &elevation, sizeof(elevation), &size)) return false;
    return elevation.TokenIsElevated != 0;
}

DWORD WindowsLaunchSystem::ShellProcessId() {
    const HWND shell = GetShellWindow();
    if (!shell) return 0;
    DWORD processId = 0;
    GetWindowThreadProcessId(shell, &processId);
    return processId;
}

DWORD WindowsLaunchSystem::SessionExplorerProcessId() {
    diag::ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.IsValid()) return 0;
    const DWORD ownSession = OwnSessionId();
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry)) {
        DWORD session = 0;
        if (lstrcmpiW(entry.szExeFile, kExplorerProcessName) == 0 &&
            ProcessIdToSessionId(entry.th32ProcessID, &session) && session == ownSession) {
            return entry.th32ProcessID;
        }
    }
    return 0;
}

diag::ScopedHandle WindowsLaunchSystem::PrimaryTokenOf(DWORD processId) {
    const diag::ScopedHandle process = OpenForToken(processId);
    if (!process.IsValid()) {
        LogTokenStep(processId, L"OpenProcess");
        return diag::ScopedHandle();
    }
    diag::ScopedHandle token;
    if (!OpenProcessToken(process.Get(), TOKEN_DUPLICATE | TOKEN_QUERY, token.Receive())) {
        LogTokenStep(processId, L"OpenProcessToken");
        return diag::ScopedHandle();
    }
    // CreateProcessWithTokenW needs a primary token with these rights.
    diag::ScopedHandle primary;
    if (!DuplicateTokenEx(token.Get(), TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY, nullptr,
                          SecurityImpersonation, TokenPrimary, primary.Receive())) {
        LogTokenStep(processId, L"DuplicateTokenEx");
        return diag::ScopedHandle();
    }
    return primary;
}

diag::ScopedHandle WindowsLaunchSystem::StartProgram(HANDLE token, const std::wstring& exePath,
                                                     const std::wstring& commandLine, const std::wstring& folder) {
    // Both calls may write into the command line.
    std::wstring writable = commandLine;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started = {};
    const wchar_t* way = token ? L"CreateProcessWithTokenW" : L"CreateProcessW";
    BOOL ok = FALSE;
    if (token) {
        const CreateProcessWithTokenFunction create = CreateProcessWithTokenEntry();
        if (!create) {
            InstallLog::Format(kLogCreateProcessWithTokenMissing);
            return diag::ScopedHandle();
        }
        ok = create(token, 0, exePath.c_str(), &writable[0], 0, nullptr, folder.c_str(), &startup, &started);
    } else {
        ok = CreateProcessW(exePath.c_str(), &writable[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                            &startup, &started);
    }
    if (!ok) {
        InstallLog::Format(kLogStartFailed, way, exePath.c_str(), static_cast<int>(GetLastError()));
        return diag::ScopedHandle();
    }
    const diag::ScopedHandle thread(started.hThread);
    return diag::ScopedHandle(started.hProcess);
}

bool WindowsLaunchSystem::WaitForEnd(HANDLE process, DWORD milliseconds) {
    return WaitForSingleObject(process, milliseconds) == WAIT_OBJECT_0;
}

LaunchSystem& CurrentLaunchSystem() {
    static WindowsLaunchSystem windows;
    return g_testSystem ? *g_testSystem : windows;
}

void SetLaunchSystemForTesting(LaunchSystem* system) { g_testSystem = system; }

}  // namespace deploy
