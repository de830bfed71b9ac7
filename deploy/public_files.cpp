#include "deploy/public_files.h"

#include <windows.h>

#include "deploy/deploy_constants.h"
#include "deploy/file_system.h"
#include "deploy/install_footprint.h"
#include "deploy/install_paths.h"
#include "deploy/locked_file_copy.h"
#include "diag/install_log.h"

int CopyPublicFileToInstallDir(const std::wstring& versionFolder, std::wstring* failedFile,
                               InstallFootprint* footprint) {
    std::wstring root = ParentFolder(versionFolder);
    UINT type = DriveTypeOf(root);
    if (type < DRIVE_REMOVABLE || type > DRIVE_RAMDISK) return 0;
    std::wstring binFolder = JoinPath(versionFolder, deploy::kBinFolderName);
    for (const wchar_t* name : deploy::kPublicFiles) {
        std::wstring source = JoinPath(binFolder, name);
        std::wstring target = JoinPath(root, name);
        if (!FileExists(source)) {
            InstallLog::Format(deploy::kLogPublicFileMissing, source.c_str());
            continue;
        }
        const bool copied = footprint ? footprint->CopyFileOver(source, target) : CopyLockedFile(source, target);
        InstallLog::Format(deploy::kLogPublicFileCopied, source.c_str(), target.c_str(), copied ? 1 : 0);
        if (!copied) {
            if (failedFile != nullptr) *failedFile = target;
            return -1;
        }
    }
    return 1;
}
