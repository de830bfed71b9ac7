#include "deploy/product_registry.h"

#include "common/product.h"
#include "deploy/created_places.h"
#include "deploy/deploy_constants.h"
#include "deploy/install_paths.h"
#include "deploy/registration_removal_constants.h"
#include "deploy/registry_keys.h"
#include "deploy/registry_value.h"
#include "deploy/uninstall_entry.h"
#include "diag/install_log.h"

namespace {

std::wstring ReadValue(HKEY hive, const wchar_t* keyPath, const wchar_t* name) {
    diag::ScopedRegKey key;
    std::wstring data;
    if (OpenKeyForReading(hive, keyPath, key)) ReadStringValue(key.Get(), name, data);
    return data;
}

// Opens the product key in the hive that holds it: the first hive whose key opens is asked,
// the second only when the first has no key at all.
bool OpenProductKey(HKEY first, HKEY second, diag::ScopedRegKey& key) {
    return OpenKeyForReading(first, deploy::kProductKey, key) ||
           OpenKeyForReading(second, deploy::kProductKey, key);
}

// A string value of the product key opened as OpenProductKey does; false (and empty) when the key
// or the value is missing.
bool ReadProductValue(HKEY first, HKEY second, const wchar_t* name, std::wstring& data) {
    diag::ScopedRegKey key;
    data.clear();
    return OpenProductKey(first, second, key) && ReadStringValue(key.Get(), name, data);
}

bool WriteChecked(HKEY key, const wchar_t* keyPath, const wchar_t* name, const std::wstring& data) {
    LONG result = WriteStringValue(key, name, data);
    if (result == ERROR_SUCCESS) return true;
    InstallLog::Format(deploy::kLogProductKeyFailed, keyPath, name, static_cast<long>(result));
    return false;
}

// The company key that holds the product key, "SOFTWARE\Corvane".
std::wstring CompanyKey() {
    const std::wstring productKey = deploy::kProductKey;
    return productKey.substr(0, productKey.find_last_of(L'\\'));
}

// Deletes `path` below `hive` whatever it holds; true when it is gone.
bool DeleteWholeKey(HKEY hive, const std::wstring& path) {
    const LONG result = DeleteKeyTree(hive, path);
    if (result == ERROR_SUCCESS) return true;
    InstallLog::Format(deploy::kLogUndoFailed, HiveName(hive), path.c_str(), L"", result);
    return false;
}

}  // namespace

bool WriteFirstChannel(HKEY hive, const std::wstring& channel) {
    diag::ScopedRegKey key;
    if (!OpenOrCreateKey(hive, deploy::kFirstChannelKey, key)) {
        InstallLog::Format(deploy::kLogProductKeyFailed, deploy::kFirstChannelKey,
                           deploy::kValueChannel, static_cast<long>(GetLastError()));
        return true;
    }
    WriteChecked(key.Get(), deploy::kFirstChannelKey, deploy::kValueChannel,
                 channel.empty() ? std::wstring(deploy::kUnknownChannel) : channel);
    return true;
}

bool WriteProductKey(const std::wstring& versionFolder, const std::wstring& channel, HKEY hive,
                     const std::wstring& ltValue, bool isMachine) {
    const std::wstring root = ParentFolder(versionFolder);

    // The machine-wide first channel is written once; the per-user copy follows it only while
    // the machine-wide one says "unknown". An earlier install's channel wins over this one.
    const std::wstring first = ReadFirstChannel();
    if ((isMachine && first.empty()) || first == deploy::kUnknownChannel) {
        std::wstring registered = ReadRegisteredChannel();
        WriteFirstChannel(hive, registered.empty() ? channel : registered);
    }

    diag::ScopedRegKey productKey;
    if (!OpenOrCreateKey(hive, deploy::kProductKey, productKey)) {
        InstallLog::Format(deploy::kLogProductKeyFailed, deploy::kProductKey, L"",
                           static_cast<long>(GetLastError()));
        return false;
    }
    diag::ScopedRegKey uninstallKey;
    if (!isMachine) {
        // A profile without any per-user uninstall entry has no "Uninstall" key yet; the made key
        // is noted so that the uninstaller can take it back.
        diag::ScopedRegKey parent;
        const bool parentExisted = OpenKeyForReading(hive, deploy::kUninstallParentKey, parent);
        if (OpenOrCreateKey(hive, deploy::kUninstallKey, uninstallKey) && !parentExisted &&
            hive == HKEY_CURRENT_USER) {
            NoteCreatedPlace(kPlaceUninstallKey);
        }
    }

    HKEY key = productKey.Get();
    WriteStringValue(key, deploy::kValueVersion, product::kVersion);
    WriteStringValue(key, deploy::kValueChannel, channel);
    if (!WriteChecked(key, deploy::kProductKey, deploy::kValueLt, ltValue)) return false;
    if (!WriteChecked(key, deploy::kProductKey, deploy::kValueInstall, versionFolder)) return false;

    const std::wstring launcher = root + deploy::kLauncherFileName;
    WriteStringValue(key, deploy::kValueExe, launcher);
    if (!WriteChecked(key, deploy::kProductKey, deploy::kValueDisplayIcon, launcher)) return false;

    if (uninstallKey.IsValid()) {
        WriteUninstallEntry(uninstallKey.Get(), versionFolder, root);
    } else if (!isMachine) {
        InstallLog::Format(deploy::kLogProductKeyFailed, deploy::kUninstallKey, L"",
                           static_cast<long>(GetLastError()));
    }
    return true;
}

bool DeleteProductKey(const std::wstring& versionFolder, HKEY hive, bool isMachine) {
    if (versionFolder.empty()) {
        InstallLog::Format(deploy::kLogUndoNoPath, L"DeleteProductKey");
        return false;
    }
    const KeyRemoval product =
        DeleteKeyNaming(hive, deploy::kProductKey, deploy::kValueInstall, versionFolder, true);
    bool clean = product != KeyRemoval::Failed;

    if (!isMachine) {
        // The entry names the uninstaller quoted or, written by an older setup, as it is.
        const std::wstring uninstaller =
            JoinPath(ParentFolder(WithoutTrailingBackslash(versionFolder)), deploy::kUninstallerFileName);
        if (DeleteKeyNaming(hive, deploy::kUninstallKey, deploy::kValueUninstallString, uninstaller) ==
            KeyRemoval::Failed) {
            clean = false;
        }
    }

    // The first channel and the company key came with this product key; beside another install's
    // key they stay.
    if (product != KeyRemoval::Removed) return clean;
    if (!DeleteWholeKey(hive, deploy::kFirstChannelKey)) clean = false;
    const std::wstring company = CompanyKey();
    if (IsEmptyKey(hive, company)) {
        const LONG result = RegDeleteKeyW(hive, company.c_str());
        if (result == ERROR_SUCCESS) {
            InstallLog::Format(deploy::kLogUndoRemoved, HiveName(hive), company.c_str(), L"");
        } else {
            InstallLog::Format(deploy::kLogUndoFailed, HiveName(hive), company.c_str(), L"", result);
            clean = false;
        }
    }
    return clean;
}

std::wstring ReadRegisteredChannel() {
    std::wstring channel;
    ReadProductValue(HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, deploy::kValueChannel, channel);
    return channel;
}

std::wstring ReadFirstChannel() {
    return ReadValue(HKEY_LOCAL_MACHINE, deploy::kFirstChannelKey, deploy::kValueChannelRead);
}

std::wstring ReadInstallFolder() {
    std::wstring folder = ReadValue(HKEY_CURRENT_USER, deploy::kProductKey, deploy::kValueInstall);
    if (folder.empty())
        folder = ReadValue(HKEY_LOCAL_MACHINE, deploy::kProductKey, deploy::kValueInstall);
    return folder;
}

bool HasInstalledVersion() {
    std::wstring version;
    return ReadProductValue(HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, deploy::kValueVersionRead, version);
}

std::wstring ReadInstalledVersion() {
    std::wstring version;
    ReadProductValue(HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, deploy::kValueVersionRead, version);
    return version;
}
