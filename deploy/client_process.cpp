#include "deploy/client_process.h"

// The psapi.dll entry points: the kernel32 ones do not exist before Windows 7.
#undef PSAPI_VERSION
#define PSAPI_VERSION 1
#include <psapi.h>
#include <tlhelp32.h>

#include <functional>
#include <utility>

#include "deploy/deploy_constants.h"
#include "deploy/install_paths.h"
#include "deploy/previous_install_constants.h"
#include "diag/install_log.h"
#include "diag/win_handle.h"

namespace {

constexpr DWORD kPathCapacity = MAX_PATH;
constexpr DWORD kTerminateWaitMs = 3000;

std::wstring Lower(std::wstring text) {
    if (!text.empty()) CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

bool SameNameIgnoringCase(const wchar_t* a, const wchar_t* b) { return lstrcmpiW(a, b) == 0; }

std::wstring ProcessImagePath(DWORD processId) {
    // Reading another process's module list needs only these rights; asking for all of them
    // fails for processes of other sessions and on systems whose full mask is smaller.
    diag::ScopedHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
    if (!process.IsValid()) return std::wstring();
    wchar_t path[kPathCapacity] = {};
    const DWORD length = GetModuleFileNameExW(process.Get(), nullptr, path, kPathCapacity);
    return std::wstring(path, length < kPathCapacity ? length : 0);
}

std::wstring UpdaterInstallRoot(const std::wstring& updaterIni) {
    if (updaterIni.empty()) return std::wstring();
    wchar_t value[kPathCapacity] = {};
    GetPrivateProfileStringW(deploy::kIniCurrentSection, deploy::kIniVersionPathKey, L"", value, kPathCapacity,
                             updaterIni.c_str());
    return value;
}

// Calls `visit` with each running process's id and executable name until it returns false.
void ForEachProcess(const std::function<bool(DWORD, const wchar_t*)>& visit) {
    diag::ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.IsValid()) return;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry)) {
        if (!visit(entry.th32ProcessID, entry.szExeFile)) return;
    }
}

}  // namespace

bool IsClientProcess(const std::wstring& exeName, DWORD processId, const ClientProcessFilter& filter) {
    const std::wstring imagePath = ProcessImagePath(processId);
    if (imagePath.empty()) return false;
    const std::wstring newBin = filter.matchNewFolder ? filter.newVersionFolder + L"\\Bin\\" : std::wstring();
    const std::wstring oldBin = filter.oldVersionFolder.empty() ? std::wstring() : filter.oldVersionFolder + L"\\Bin\\";
    if (newBin.empty() && oldBin.empty()) return false;

    const std::wstring path1 = Lower(imagePath);
    const std::wstring path2 = newBin.empty() ? std::wstring() : Lower(newBin + exeName);
    const std::wstring path3 = oldBin.empty() ? std::wstring() : Lower(oldBin + exeName);
    const std::wstring path4 = Lower(filter.ownedFolder);
    const std::wstring updaterRoot = UpdaterInstallRoot(filter.updaterIni);
    // Without a root in the updater's ini there is no path to match there.
    const std::wstring path5 = updaterRoot.empty() ? std::wstring() : Lower(updaterRoot + L"\\Bin\\" + exeName);
    InstallLog::Format(deploy::kLogProcessPath1, path1.c_str());
    InstallLog::Format(deploy::kLogProcessPath2, path2.c_str());
    InstallLog::Format(deploy::kLogProcessPath3, path3.c_str());
    InstallLog::Format(deploy::kLogProcessPath4, path4.c_str());
    InstallLog::Format(deploy::kLogProcessPath5, path5.c_str());

    for (const std::wstring* candidate : {&path2, &path3, &path5}) {
        if (!candidate->empty() && path1 == *candidate) return true;
    }
    return !path4.empty() && IsInsideFolder(path1, path4);
}

bool FindClientProcesses(const std::wstring& exeName, const ClientProcessFilter& filter,
                         std::vector<DWORD>& processIds) {
    processIds.clear();
    ForEachProcess([&](DWORD processId, const wchar_t* name) {
        if (SameNameIgnoringCase(name, exeName.c_str())) {
            InstallLog::Format(deploy::kLogProcessToEnd, exeName.c_str());
            if (IsClientProcess(exeName, processId, filter)) processIds.push_back(processId);
        } else if (!filter.matchNewFolder && SameNameIgnoringCase(name, deploy::kUpdaterProcessName)) {
            processIds.push_back(processId);
        }
        return true;
    });
    return !processIds.empty();
}

int IsClientRunning(const ClientProcessFilter& filter) {
    const DWORD start = GetTickCount();
    int answer = deploy::kNothingRunning;
    ForEachProcess([&](DWORD processId, const wchar_t* name) {
        if (SameNameIgnoringCase(name, deploy::kClientFileName) &&
            IsClientProcess(deploy::kClientFileName, processId, filter)) {
            answer = deploy::kClientRunning;
        } else if (!filter.matchNewFolder && SameNameIgnoringCase(name, deploy::kUpdaterProcessName)) {
            answer = deploy::kUpdaterRunning;
        }
        return answer == deploy::kNothingRunning;
    });
    if (answer == deploy::kNothingRunning)
        InstallLog::Format(deploy::kLogRunningCheckTime, static_cast<int>(GetTickCount() - start));
    return answer;
}

bool TerminateClientProcesses(const std::wstring& exeName, const ClientProcessFilter& filter) {
    std::vector<DWORD> processIds;
    if (!FindClientProcesses(exeName, filter, processIds)) return true;
    std::vector<diag::ScopedHandle> ended;
    for (DWORD processId : processIds) {
        diag::ScopedHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId));
        if (!process.IsValid() || !TerminateProcess(process.Get(), static_cast<UINT>(-1))) {
            InstallLog::Format(deploy::kLogTerminateFailed);
            return false;
        }
        ended.push_back(std::move(process));
    }
    // Termination completes asynchronously; the files the processes held are replaced next.
    for (const diag::ScopedHandle& process : ended) WaitForSingleObject(process.Get(), kTerminateWaitMs);
    return true;
}
