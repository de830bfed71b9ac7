#include "deploy/uninstall_entry.h"

#include "common/product.h"
#include "deploy/deploy_constants.h"
#include "deploy/file_system.h"
#include "deploy/install_manifest.h"
#include "deploy/install_paths.h"
#include "deploy/registry_value.h"
#include "diag/install_log.h"
#include "diag/text_format.h"

namespace {

constexpr uint64_t kBytesPerKib = 1024;

bool Logged(const wchar_t* name, LONG result) {
    if (result == ERROR_SUCCESS) return true;
    InstallLog::Format(deploy::kLogProductKeyFailed, deploy::kUninstallKey, name, static_cast<long>(result));
    return false;
}

uint64_t FileBytes(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    if (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) return 0;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace

std::wstring UninstallCommand(const std::wstring& uninstallerPath) {
    if (uninstallerPath.find(L' ') == std::wstring::npos) return uninstallerPath;
    return L"\"" + uninstallerPath + L"\"";
}

std::wstring QuietUninstallCommand(const std::wstring& uninstallerPath) {
    return UninstallCommand(uninstallerPath) + L" " + deploy::kUninstallerModeOption + deploy::kUninstallerSilentMode;
}

uint64_t InstalledBytes(const std::wstring& versionFolder, const std::wstring& productRoot) {
    int budget = kManifestEntryBudget;
    uint64_t total = FolderTreeSize(budget, versionFolder);
    for (const wchar_t* name : deploy::kPublicFiles) total += FileBytes(JoinPath(productRoot, name));
    return total;
}

DWORD KibibytesRoundedUp(uint64_t bytes) {
    const uint64_t kib = bytes / kBytesPerKib + (bytes % kBytesPerKib != 0 ? 1 : 0);
    return kib > MAXDWORD ? MAXDWORD : static_cast<DWORD>(kib);
}

std::wstring InstallDateToday() {
    SYSTEMTIME now = {};
    GetLocalTime(&now);
    return FormatText(deploy::kInstallDateFormat, static_cast<unsigned>(now.wYear), static_cast<unsigned>(now.wMonth),
                      static_cast<unsigned>(now.wDay));
}

bool WriteUninstallEntry(HKEY entry, const std::wstring& versionFolder, const std::wstring& productRoot) {
    const std::wstring root = WithoutTrailingBackslash(productRoot);
    const std::wstring uninstaller = JoinPath(root, deploy::kUninstallerFileName);
    // Each value on its own: one that fails leaves the others worth having.
    bool written = true;
    auto text = [&](const wchar_t* name, const std::wstring& data) {
        written = Logged(name, WriteStringValue(entry, name, data)) && written;
    };
    auto number = [&](const wchar_t* name, DWORD data) {
        written = Logged(name, WriteDwordValue(entry, name, data)) && written;
    };
    text(deploy::kValueDisplayIcon, JoinPath(root, deploy::kLauncherFileName));
    text(deploy::kValueDisplayName, deploy::kDisplayName);
    text(deploy::kValueDisplayVersion, product::kVersion);
    text(deploy::kValuePublisher, deploy::kPublisher);
    text(deploy::kValueUninstallString, UninstallCommand(uninstaller));
    text(deploy::kValueQuietUninstallString, QuietUninstallCommand(uninstaller));
    text(deploy::kValueInstallLocation, root);
    number(deploy::kValueEstimatedSize, KibibytesRoundedUp(InstalledBytes(versionFolder, root)));
    text(deploy::kValueInstallDate, InstallDateToday());
    number(deploy::kValueNoModify, 1);
    number(deploy::kValueNoRepair, 1);
    return written;
}
