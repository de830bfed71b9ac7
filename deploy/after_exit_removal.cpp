#include "deploy/after_exit_removal.h"

#include <windows.h>

#include "deploy/install_paths.h"
#include "deploy/removal_constants.h"
#include "diag/install_log.h"
#include "diag/text_format.h"
#include "diag/win_handle.h"

namespace {

bool IsSafeForCommandLine(const std::wstring& path) {
    if (path.empty()) return false;
    for (wchar_t c : path) {
        if (c < 0x20 || wcschr(L"\"%^*?", c) != nullptr) return false;
    }
    return true;
}

std::wstring SystemCommandInterpreter() {
    wchar_t folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return std::wstring();
    return JoinPath(folder, deploy::kCommandInterpreter);
}

bool StartHidden(const std::wstring& program, const std::wstring& arguments) {
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process = {};
    // Started in the system folder, so that its current folder keeps none of ours in use.
    wchar_t systemFolder[MAX_PATH] = {};
    GetSystemDirectoryW(systemFolder, MAX_PATH);
    if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                        CREATE_NO_WINDOW, nullptr, systemFolder, &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

}  // namespace

std::wstring AfterExitCommand(const std::wstring& file, const std::vector<std::wstring>& folders) {
    if (!IsSafeForCommandLine(file)) return std::wstring();
    std::wstring removeFolders;
    for (const std::wstring& folder : folders) {
        if (!IsSafeForCommandLine(folder)) return std::wstring();
        removeFolders += FormatText(deploy::kAfterExitRemoveFolder, folder.c_str());
    }
    std::wstring command = deploy::kAfterExitCommandStart;
    for (int wait : deploy::kAfterExitWaits)
        command += FormatText(deploy::kAfterExitDeleteFile, wait, file.c_str()) + removeFolders;
    return command + deploy::kAfterExitCommandEnd;
}

bool RemoveAfterExit(const std::wstring& file, const std::vector<std::wstring>& folders) {
    const std::wstring command = AfterExitCommand(file, folders);
    const std::wstring interpreter = SystemCommandInterpreter();
    if (!command.empty() && !interpreter.empty() && StartHidden(interpreter, command)) {
        InstallLog::Format(deploy::kLogUninstallAfterExit, file.c_str());
        return true;
    }
    InstallLog::Format(deploy::kLogUninstallAfterExitFailed, file.c_str(), static_cast<unsigned>(GetLastError()));
    if (!MoveFileExW(file.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) return false;
    for (const std::wstring& folder : folders) MoveFileExW(folder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    return true;
}
