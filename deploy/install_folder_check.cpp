#include "deploy/install_folder_check.h"

#include <windows.h>

#include <shlobj.h>
#include <shlwapi.h>

#include "common/product.h"
#include "deploy/deploy_constants.h"
#include "deploy/file_system.h"
#include "deploy/install_paths.h"
#include "deploy/product_folder.h"
#include "deploy/registry_value.h"
#include "diag/text_format.h"
#include "diag/install_log.h"

namespace {

constexpr int kProbeFolderCount = 5;

std::wstring ProbeFolder(const std::wstring& folder, int index) {
    return FormatText(deploy::kWriteProbePattern, folder.c_str(), index);
}

// Removes an empty probe folder; a file, a link or a folder with anything in it stays.
bool RemoveEmptyProbe(const std::wstring& probe) {
    return FolderExists(probe) && !IsLink(probe) && RemoveDirectoryW(probe.c_str()) != FALSE;
}

}  // namespace

bool HasWriteAccess(const std::wstring& folder) {
    if (folder.empty()) return false;
    std::wstring base = folder.back() == L'\\' ? folder : folder + L"\\";
    int index = 0;
    std::wstring probe = ProbeFolder(base, index);
    // An empty leftover of an interrupted check is removed and its name reused. Anything else of
    // that name may be somebody's data: it stays, and the next number is tried; after five the
    // sixth name is used as it is.
    while (index < kProbeFolderCount && FileOrFolderExists(probe) && !RemoveEmptyProbe(probe)) {
        InstallLog::Format(deploy::kLogProbeKept, probe.c_str());
        ++index;
        probe = ProbeFolder(base, index);
    }
    int result = SHCreateDirectoryExW(nullptr, probe.c_str(), nullptr);
    bool writable = result == ERROR_SUCCESS;
    InstallLog::Format(deploy::kLogHaveWrite, writable ? 1 : 0);
    // Only the probe made here is removed, never a folder that stood there before.
    if (writable) RemoveDirectoryW(probe.c_str());
    return writable;
}

bool CanWriteClassesRoot() {
    RegDeleteKeyW(HKEY_CLASSES_ROOT, deploy::kClassesRootProbeKey);
    diag::ScopedRegKey key;
    bool created = RegCreateKeyW(HKEY_CLASSES_ROOT, deploy::kClassesRootProbeKey, key.Receive()) ==
                   ERROR_SUCCESS;
    key.Reset();
    RegDeleteKeyW(HKEY_CLASSES_ROOT, deploy::kClassesRootProbeKey);
    return created;
}

int CheckInstallFolder(const std::wstring& folder, uint32_t requiredBytes) {
    if (!IsValidInstallPath(folder)) return kInstallFolderInvalid;
    // The install clears the version folder first: one that holds somebody else's files is no
    // place for it.
    if (HoldsForeignData(folder)) {
        InstallLog::Format(deploy::kLogForeignInstallFolder, folder.c_str());
        return kInstallFolderInvalid;
    }
    UINT type = DriveTypeOf(folder);
    bool remote = type == DRIVE_REMOTE;
    InstallLog::Format(deploy::kLogDriveType, static_cast<int>(type));
    if (type < DRIVE_REMOVABLE || type > DRIVE_RAMDISK) return kInstallFolderInvalid;

    wchar_t root[MAX_PATH] = {};
    folder.copy(root, MAX_PATH - 1);
    PathStripToRootW(root);
    uint64_t freeBytes = 0;
    FreeSpace(root, freeBytes);
    if (!remote && freeBytes <= requiredBytes) return kInstallFolderDiskFull;
    return HasWriteAccess(folder) ? kInstallFolderOk : kInstallFolderNoAccess;
}

std::wstring VersionFolderOf(const std::wstring& productRoot) {
    return JoinPath(productRoot, product::kVersion);
}

std::wstring DefaultVersionFolder(const std::wstring& installDirOption) {
    if (!installDirOption.empty()) return VersionFolderOf(installDirOption);
    std::wstring root = DefaultProductRoot();
    if (root.empty() || !IsValidInstallPath(root)) return std::wstring();
    return VersionFolderOf(root);
}

int SetInstallFolder(const std::wstring& chosen, uint32_t requiredBytes,
                     std::wstring& versionFolder, std::wstring& replacement) {
    versionFolder = chosen;
    int code = CheckInstallFolder(chosen, requiredBytes);
    if (code != kInstallFolderOk) return code;
    if (FolderExists(chosen) || CreateFolderPath(chosen)) return kInstallFolderOk;

    // An elevated process that cannot create the folder has no better place to go.
    if (CanWriteClassesRoot()) return kInstallFolderInvalid;
    // A limited user falls back to the folder the setup program was started from.
    replacement = SetupFolder();
    versionFolder = VersionFolderOf(replacement);
    if (CreateFolderPath(versionFolder)) return kInstallFolderOk;
    return kInstallFolderInvalid;
}
