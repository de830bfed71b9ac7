#include "deploy/shell_registration.h"

#include <windows.h>

#include "deploy/deploy_constants.h"
#include "deploy/install_paths.h"
#include "deploy/registered_path.h"
#include "deploy/registration_removal_constants.h"
#include "deploy/registry_keys.h"
#include "deploy/registry_value.h"
#include "diag/text_format.h"
#include "diag/install_log.h"

namespace {

bool OpenOrCreateClassesKey(const wchar_t* path, diag::ScopedRegKey& key) {
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_ALL_ACCESS, key.Receive()) == ERROR_SUCCESS)
        return true;
    return RegCreateKeyW(HKEY_CLASSES_ROOT, path, key.Receive()) == ERROR_SUCCESS;
}

int ElapsedSince(DWORD start) { return static_cast<int>(GetTickCount() - start); }

}  // namespace

bool WriteProtocolInfo(const std::wstring& launcherPath) {
    const DWORD start = GetTickCount();
    if (launcherPath.empty()) {
        InstallLog::Format(deploy::kLogProtocolEmpty);
        return false;
    }
    {
        diag::ScopedRegKey key;
        if (!OpenOrCreateClassesKey(deploy::kProtocolScheme, key)) {
            InstallLog::Format(deploy::kLogProtocolCreateKey);
            return false;
        }
        InstallLog::Format(deploy::kLogProtocolTime1, ElapsedSince(start));
        WriteStringValue(key.Get(), nullptr, deploy::kProtocolDefaultValue);
        WriteStringValue(key.Get(), deploy::kValueUrlProtocol, launcherPath);
    }
    InstallLog::Format(deploy::kLogProtocolTime2, ElapsedSince(start));
    {
        diag::ScopedRegKey key;
        if (!OpenOrCreateClassesKey(deploy::kProtocolIconKey, key)) {
            InstallLog::Format(deploy::kLogProtocolSubkey, deploy::kProtocolScheme);
            return false;
        }
        WriteStringValue(key.Get(), nullptr,
                         FormatText(deploy::kProtocolIconFormat, launcherPath.c_str()));
    }
    InstallLog::Format(deploy::kLogProtocolTime3, ElapsedSince(start));
    diag::ScopedRegKey key;
    if (!OpenOrCreateClassesKey(deploy::kProtocolCommandKey, key)) {
        InstallLog::Format(deploy::kLogProtocolSubkey, deploy::kProtocolScheme);
        return false;
    }
    WriteStringValue(key.Get(), nullptr,
                     FormatText(deploy::kProtocolCommandFormat, launcherPath.c_str()));
    InstallLog::Format(deploy::kLogProtocolTime4, ElapsedSince(start));
    return true;
}

bool WriteRunEntry(const std::wstring& commandLine) {
    diag::ScopedRegKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, deploy::kRunKey, 0, KEY_WRITE | KEY_QUERY_VALUE,
                      key.Receive()) != ERROR_SUCCESS) {
        InstallLog::Format(deploy::kLogRunKeyFailed);
        return false;
    }
    std::wstring current;
    if (ReadStringValue(key.Get(), deploy::kValueRunEntry, current) &&
        _wcsicmp(current.c_str(), commandLine.c_str()) == 0) {
        return true;
    }
    LONG result = WriteStringValue(key.Get(), deploy::kValueRunEntry, commandLine);
    if (result != ERROR_SUCCESS)
        InstallLog::Format(deploy::kLogProductKeyFailed, deploy::kRunKey, deploy::kValueRunEntry,
                           static_cast<long>(result));
    return result == ERROR_SUCCESS;
}

bool DeleteProtocolInfo(const std::wstring& launcherPath) {
    if (launcherPath.empty()) {
        InstallLog::Format(deploy::kLogUndoNoPath, L"DeleteProtocolInfo");
        return false;
    }
    // A key written through HKEY_CLASSES_ROOT lands in the user's classes when the user already
    // had one, else in the machine's (which is all that Wine keeps): both places are looked at.
    const std::wstring path = JoinPath(deploy::kClassesKey, deploy::kProtocolScheme);
    const KeyRemoval user = DeleteKeyNaming(HKEY_CURRENT_USER, path, deploy::kValueUrlProtocol, launcherPath);
    const KeyRemoval machine = DeleteKeyNaming(HKEY_LOCAL_MACHINE, path, deploy::kValueUrlProtocol, launcherPath);
    return user != KeyRemoval::Failed && machine != KeyRemoval::Failed;
}

bool DeleteRunEntry(const std::wstring& launcherPath) {
    if (launcherPath.empty()) {
        InstallLog::Format(deploy::kLogUndoNoPath, L"DeleteRunEntry");
        return false;
    }
    diag::ScopedRegKey key;
    LONG result = RegOpenKeyExW(HKEY_CURRENT_USER, deploy::kRunKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                                key.Receive());
    if (result == ERROR_FILE_NOT_FOUND) return true;
    if (result != ERROR_SUCCESS) {
        InstallLog::Format(deploy::kLogUndoFailed, L"HKCU", deploy::kRunKey, deploy::kValueRunEntry, result);
        return false;
    }
    std::wstring command;
    if (!ReadStringValue(key.Get(), deploy::kValueRunEntry, command)) return true;
    const std::wstring program = ProgramOf(command);
    if (!NamesSamePath(program, launcherPath)) {
        InstallLog::Format(deploy::kLogUndoKept, L"HKCU", deploy::kRunKey, deploy::kValueRunEntry,
                           command.c_str(), launcherPath.c_str());
        return true;
    }
    result = RegDeleteValueW(key.Get(), deploy::kValueRunEntry);
    if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) {
        InstallLog::Format(deploy::kLogUndoFailed, L"HKCU", deploy::kRunKey, deploy::kValueRunEntry, result);
        return false;
    }
    InstallLog::Format(deploy::kLogUndoRemoved, L"HKCU", deploy::kRunKey, deploy::kValueRunEntry);
    return true;
}
