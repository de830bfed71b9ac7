#include "deploy/shell_registration.h"

#include <windows.h>

#include "deploy/deploy_constants.h"
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
