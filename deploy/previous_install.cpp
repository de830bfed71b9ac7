#include "deploy/previous_install.h"

#include <windows.h>

#include <shellapi.h>

#include "deploy/deploy_constants.h"
#include "deploy/file_deployer.h"
#include "deploy/file_system.h"
#include "deploy/files/held_folder.h"
#include "deploy/files/path_identity.h"
#include "deploy/files/tree_deletion.h"
#include "deploy/install_paths.h"
#include "deploy/previous_install_constants.h"
#include "deploy/product_folder.h"
#include "deploy/service_control.h"
#include "deploy/shared_service_constants.h"
#include "deploy/verified_code.h"
#include "deploy/web_component_digest.h"
#include "diag/text_format.h"
#include "diag/install_log.h"
#include "diag/win_handle.h"
#include "diag/windows_version.h"

namespace {

// regsvr32 of a small component ends within a second; a hung one must not hold the install.
constexpr DWORD kUnregisterWaitMs = 10000;

std::wstring SystemProgram(const wchar_t* name) {
    wchar_t folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return std::wstring();
    return JoinPath(folder, name);
}

}  // namespace

bool UnregisterServer(const std::wstring& dllPath, const std::wstring& expectedSha256) {
    if (!FileExists(dllPath)) return true;
    // regsvr32 loads the component with this program's rights: only the product's own, held
    // unchanged until regsvr32 is done with it.
    const VerifiedCode component = VerifiedCode::Check(dllPath, expectedSha256);
    if (!component.IsValid()) return false;
    const std::wstring program = SystemProgram(deploy::kRegisterServerProgram);
    const std::wstring parameters = FormatText(deploy::kUnregisterParameters, dllPath.c_str());
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpFile = program.c_str();
    info.lpParameters = parameters.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (program.empty() || !ShellExecuteExW(&info) || info.hProcess == nullptr) {
        InstallLog::Format(deploy::kLogUnregisterFailed, dllPath.c_str(), static_cast<int>(GetLastError()));
        return false;
    }
    // The caller deletes the component next: regsvr32 must be done with it first.
    diag::ScopedHandle process(info.hProcess);
    DWORD exitCode = 1;
    if (WaitForSingleObject(process.Get(), kUnregisterWaitMs) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(process.Get(), &exitCode) || exitCode != 0) {
        InstallLog::Format(deploy::kLogUnregisterFailed, dllPath.c_str(), static_cast<int>(exitCode));
        return false;
    }
    return true;
}

std::vector<uint32_t> UninstallPrevious(const std::wstring& oldVersionFolder, const std::wstring& stagingFolder,
                                        IPlProgressCallback* progress) {
    std::vector<uint32_t> failed;
    // The product key may name any folder, and the folders of the key and the install lie where
    // any program of the user can write: only a version folder that is the product's own, with no
    // link on its way, is unregistered, emptied and stripped of its public files.
    const bool ours = RefuseLinkOnPath(oldVersionFolder) && IsProductFolder(oldVersionFolder);
    if (!ours) InstallLog::Format(deploy::kLogForeignPreviousFolder, oldVersionFolder.c_str());
    const std::wstring oldRoot = WithoutTrailingBackslash(ParentFolder(oldVersionFolder));

    if (ours && FolderExists(oldRoot) &&
        !UnregisterServer(JoinPath(oldRoot, deploy::kWebComponentFileName), RecordedWebComponentDigest()))
        failed.push_back(deploy::kErrorUnregisterWebComponent);

    const DWORD start = GetTickCount();
    InstallLog::Format(deploy::kLogRemovalStart, static_cast<int>(start));
    if (ours) {
        FileDeployer deployer(stagingFolder, progress);
        deployer.SetOldInstallFolder(oldVersionFolder);
        deployer.SetOldManifestPath(JoinPath(oldVersionFolder, deploy::kManifestFileName));
        // 0 means the old manifest could not be read back: nothing was removed by it.
        if (deployer.RemovePrevious() == 0) failed.push_back(deploy::kErrorRemoveByManifest);
    }
    InstallLog::Format(deploy::kLogRemovalUnregistered, static_cast<int>(GetTickCount() - start));
    InstallLog::Format(deploy::kLogRemovalDone, static_cast<int>(GetTickCount() - start));

    // The service is only stopped; its registration is replaced later in the install. Below Vista
    // the setup never registers it, so there is nothing to stop and nothing has failed.
    if (!IsVistaOrLater()) {
        InstallLog::Format(deploy::kLogNoServiceBelowVista);
    } else if (!StopService()) {
        InstallLog::Format(deploy::kLogServiceNotStopped, deploy::kServiceName);
        failed.push_back(deploy::kErrorStopService);
    }
    if (!ours) return failed;

    if (!DeletePublicFiles(oldVersionFolder)) failed.push_back(deploy::kErrorDeletePublicFiles);

    // Only an empty root goes: whatever is left in it (a user's file, a folder in use) keeps it.
    // A root that is a link is somebody's and stays as well.
    if (!RemoveEmptyFolder(oldRoot)) {
        InstallLog::Format(deploy::kLogOldRootLeft, oldRoot.c_str(), GetLastError());
        failed.push_back(deploy::kErrorRemoveOldRoot);
    }
    return failed;
}

bool DeletePublicFiles(const std::wstring& oldVersionFolder) {
    if (oldVersionFolder.empty()) return true;
    const std::wstring oldRoot = WithoutTrailingBackslash(ParentFolder(oldVersionFolder));
    if (!FolderExists(oldRoot)) return true;
    files::HeldFolder root = files::HeldFolder::Open(oldRoot, oldRoot);
    if (!root.IsValid()) {
        root.LogRefusal(oldRoot);
        return false;
    }
    bool allGone = true;
    auto remove = [&](const wchar_t* name) {
        files::FolderEntry entry;
        if (!root.FindEntry(name, entry) || entry.IsFolder()) return;
        if (!files::DeleteEntry(root, entry)) allGone = false;
    };
    for (const wchar_t* name : deploy::kPublicFiles) remove(name);
    remove(deploy::kOldUninstallerFileName);
    return allGone;
}

bool MigrateUsersFolder(const std::wstring& oldVersionFolder, const std::wstring& stagingFolder,
                        const std::wstring& newVersionFolder) {
    // From Windows Vista on the users' data lives in My Documents, not in the install folder.
    // Without a previous folder there is nothing to move ("" and "Users" would make a relative path).
    if (OsMajorVersion() >= 6 || oldVersionFolder.empty()) return true;
    std::wstring from = JoinPath(oldVersionFolder, deploy::kUsersFolderName);
    const std::wstring to = JoinPath(newVersionFolder, deploy::kUsersFolderName);
    if (!FolderExists(from)) {
        std::wstring found;
        int searchBudget = deploy::kUsersFolderSearchBudget;
        if (!FindUsersFolder(stagingFolder, found, searchBudget)) return true;
        from = found;
    }
    // Reinstalling the same version finds the users' folder already in place: copying it onto
    // itself and deleting the "source" would lose it.
    if (files::FullPath(from).empty() || files::IsSameObject(from, to)) return true;
    int copyBudget = deploy::kUsersFolderCopyBudget;
    if (!CopyFolderTree(from, to, copyBudget)) {
        // A failed copy leaves the source whole: nothing is lost, so the install goes on.
        InstallLog::Format(deploy::kLogUsersFolderNotCopied, from.c_str(), to.c_str());
        return true;
    }
    if (DeleteFolderTree(from)) return true;
    InstallLog::Format(deploy::kLogUsersFolderNotMoved, from.c_str());
    return false;
}
