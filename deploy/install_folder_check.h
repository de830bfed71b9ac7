#pragma once

#include <cstdint>
#include <string>

// The verdict on a folder chosen for the install, as the install-location page shows it.
enum InstallFolderVerdict : int {
    kInstallFolderOk = 0,
    kInstallFolderInvalid = 1,     // not a valid path on a fixed drive
    kInstallFolderDiskFull = 2,    // free space not larger than the required space
    kInstallFolderNoAccess = 3,    // the current user cannot write there
};

// The space the product needs on its drive: 77 MiB.
inline constexpr uint32_t kRequiredInstallSpace = 0x4D00000;

// Creates (and removes again) a probe folder "{folder}{i}test\" for i = 0. A leftover probe
// 0test..4test is removed when it is an empty folder; anything else of that name stays and the
// next number is tried (after five, 5test is used as it is). Creates `folder` itself when it was
// missing.
bool HasWriteAccess(const std::wstring& folder);

// True when the process may create keys under HKEY_CLASSES_ROOT (in practice: it runs elevated).
bool CanWriteClassesRoot();

// One of the verdicts above for the version folder `folder` and the space it must offer. A folder
// that holds data not the product's (product_folder.h) is invalid: the install would clear it.
int CheckInstallFolder(const std::wstring& folder, uint32_t requiredBytes);

// Chooses `chosen` as the version folder and checks it. `versionFolder` receives the folder the
// install will use; when `chosen` cannot be created by a non-elevated process the setup folder
// takes its place: `replacement` then names it and `versionFolder` is {setup folder}\1.14.301.
// Returns the verdict.
int SetInstallFolder(const std::wstring& chosen, uint32_t requiredBytes,
                     std::wstring& versionFolder, std::wstring& replacement);

// The version folder below a product root: {productRoot}\1.14.301.
std::wstring VersionFolderOf(const std::wstring& productRoot);

// The version folder an install without a chosen folder uses: the install_dir of the command line
// (when given) or the default product root, joined with the version; empty when the default
// product root is unknown or invalid.
std::wstring DefaultVersionFolder(const std::wstring& installDirOption);
