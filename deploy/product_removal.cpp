#include "deploy/product_removal.h"

#include <windows.h>

#include <set>

#include "deploy/client_process.h"
#include "deploy/created_places.h"
#include "deploy/deploy_constants.h"
#include "deploy/file_system.h"
#include "deploy/files/path_identity.h"
#include "deploy/firewall_exception.h"
#include "deploy/install_paths.h"
#include "deploy/previous_install.h"
#include "deploy/previous_install_constants.h"
#include "deploy/product_folder.h"
#include "deploy/product_registry.h"
#include "deploy/product_shortcuts.h"
#include "deploy/removal_constants.h"
#include "deploy/shared_service.h"
#include "deploy/shell_registration.h"
#include "deploy/system_files.h"
#include "diag/install_log.h"
#include "diag/text_format.h"
#include "diag/windows_version.h"

namespace {

// Share of the progress bar: the registrations first, then the files, then the small rest.
constexpr double kProgressRegistrations = 0.10;
constexpr double kProgressFiles = 0.90;

bool SamePath(const std::wstring& a, const std::wstring& b) {
    const std::wstring left = files::NormalisedPath(a);
    return !left.empty() && left == files::NormalisedPath(b);
}

std::wstring OwnImagePath() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::wstring() : files::FullPath(path);
}

ClientProcessFilter FilterFor(const std::wstring& versionFolder, const std::wstring& productRoot) {
    ClientProcessFilter filter;
    filter.newVersionFolder = versionFolder;
    filter.oldVersionFolder = versionFolder;
    filter.ownedFolder = productRoot;
    const std::wstring updateFolder = UpdateFolder();
    if (!updateFolder.empty()) filter.updaterIni = JoinPath(updateFolder, deploy::kQuietUpdateIniName);
    return filter;
}

// The options file holds nothing but the mark the setup writes ("FirstOpenLoginPanel" in
// "Option"); anything more was written by the client for the user and stays.
bool HoldsOnlySetupOptions(const std::wstring& ini) {
    wchar_t sections[256] = {};
    GetPrivateProfileSectionNamesW(sections, 256, ini.c_str());
    if (_wcsicmp(sections, deploy::kOptionsSection) != 0 || sections[wcslen(sections) + 1] != L'\0') return false;
    wchar_t keys[256] = {};
    GetPrivateProfileStringW(deploy::kOptionsSection, nullptr, L"", keys, 256, ini.c_str());
    return _wcsicmp(keys, deploy::kOptionsKey) == 0 && keys[wcslen(keys) + 1] == L'\0';
}

void LogStep(const wchar_t* step, bool ok) {
    InstallLog::Format(deploy::kLogUninstallStep, step, ok ? deploy::kStepOk : deploy::kStepFailed);
}

}  // namespace

ProductRemoval::ProductRemoval(ShellPinRequests& shell) : m_shell(shell) {}

bool ProductRemoval::Prepare(std::wstring& refusal) {
    auto refuse = [&refusal](const std::wstring& text) {
        refusal = text;
        InstallLog::Format(deploy::kLogUninstallRefused, text.c_str());
        return false;
    };
    const std::wstring registered = ReadInstallFolder();
    if (registered.empty()) return refuse(deploy::kRefuseNotInstalled);
    const std::wstring versionFolder = WithoutTrailingBackslash(files::FullPath(registered));
    const std::wstring foreign = FormatText(deploy::kRefuseForeignFolder, registered.c_str());
    // A drive root or a path that does not resolve is nobody's version folder.
    if (versionFolder.empty() || LastComponent(versionFolder).empty()) return refuse(foreign);
    const std::wstring root = WithoutTrailingBackslash(ParentFolder(versionFolder));
    if (IsLink(versionFolder) || IsLink(root))
        return refuse(FormatText(deploy::kRefuseLinkedFolder, versionFolder.c_str()));

    if (FolderExists(versionFolder)) {
        // The manifest is what makes the folder the product's, and what says what may go.
        if (!FileExists(JoinPath(versionFolder, deploy::kManifestFileName))) return refuse(foreign);
        RemovalPlan plan;
        std::wstring problem;
        if (!ReadRemovalPlan(versionFolder, L"", plan, problem)) return refuse(problem);
    } else if (FileOrFolderExists(versionFolder) || !IsProductFolder(root)) {
        // With the version folder gone, only the product's own default root may still be cleared.
        return refuse(foreign);
    }
    m_versionFolder = versionFolder;
    m_productRoot = root;
    m_ownImage = OwnImagePath();
    return true;
}

bool ProductRemoval::IsClientRunning() const {
    return ::IsClientRunning(FilterFor(m_versionFolder, m_productRoot)) != deploy::kNothingRunning;
}

bool ProductRemoval::CloseClient() {
    const bool ended = TerminateClientProcesses(deploy::kClientFileName, FilterFor(m_versionFolder, m_productRoot));
    if (!ended) InstallLog::Format(deploy::kLogUninstallClientNotEnded);
    return ended && !IsClientRunning();
}

int ProductRemoval::Remove(bool removeData, const std::function<void(double)>& progress) {
    const DWORD start = GetTickCount();
    auto report = [&progress](double fraction) {
        if (progress) progress(fraction);
    };
    InstallLog::Format(deploy::kLogUninstallStart, m_versionFolder.c_str(), m_productRoot.c_str(),
                       removeData ? L"removed" : L"kept");
    // The manifest is read again: the choice about the users' data changes the plan, and the file
    // may have changed since Prepare.
    RemovalPlan plan;
    const bool haveFolder = FolderExists(m_versionFolder);
    std::wstring problem;
    if (haveFolder &&
        !ReadRemovalPlan(m_versionFolder, removeData ? L"" : deploy::kUsersFolderName, plan, problem)) {
        InstallLog::Format(deploy::kLogUninstallRefused, problem.c_str());
        return 1;
    }
    // Read while the product key still holds the list.
    const std::vector<std::wstring> createdPlaces = ReadCreatedPlaces(HKEY_CURRENT_USER);
    report(0.0);
    UndoRegistrations();
    RemoveCreatedFolders(createdPlaces);
    report(kProgressRegistrations);
    if (haveFolder) RemovePlannedEntries(plan, removeData, progress);
    RemovePublicFiles();
    RemoveWorkFolders();
    InstallLog::Format(deploy::kLogUninstallFilesDone, m_filesRemoved, m_filesDeferred, m_filesFailed);

    const bool complete = m_filesFailed == 0 && m_registrationsFailed == 0;
    if (complete) {
        LogStep(L"product key", DeleteProductKey(m_versionFolder, HKEY_CURRENT_USER, false));
        LogStep(L"machine product key", DeleteProductKey(m_versionFolder, HKEY_LOCAL_MACHINE, true));
        RemoveCreatedKeys(createdPlaces);
    } else {
        InstallLog::Format(deploy::kLogUninstallKeysKept);
    }
    report(1.0);
    InstallLog::Format(deploy::kLogUninstallDone, complete ? 0 : 1, static_cast<unsigned>(GetTickCount() - start));
    return complete ? 0 : 1;
}

void ProductRemoval::UndoRegistrations() {
    const std::wstring launcher = JoinPath(m_productRoot, deploy::kLauncherFileName);
    // The web component's own registration: a component that cannot unregister itself is its
    // own business and does not hold the removal up.
    const std::wstring webComponent = JoinPath(m_productRoot, deploy::kWebComponentFileName);
    LogStep(L"web component", UnregisterServer(webComponent));
    // Needs the client's file, so it comes before the files go.
    RemoveFirewallException(JoinPath(m_versionFolder, L"bin\\") + deploy::kClientFileName, deploy::kDisplayName);
    if (IsVistaOrLater())
        Check(L"service", UnregisterSharedService(JoinPath(m_productRoot, deploy::kServiceDllFileName)));

    const ShortcutFolders folders = SystemShortcutFolders();
    ProductShortcuts shortcuts(folders, OsVersionCode(), m_shell);
    Check(L"shortcuts", shortcuts.RemoveOldShortcuts());
    for (const std::wstring& programs : {folders.programs, folders.commonPrograms}) {
        if (!programs.empty()) RemoveFolderIfEmpty(programs + deploy::kCompanyStartMenuGroup);
    }
    Check(L"URL protocol", DeleteProtocolInfo(launcher));
    Check(L"start-up entry", DeleteRunEntry(launcher));
    Check(L"system files", RemoveRecordedSystemFiles(HKEY_CURRENT_USER, m_versionFolder));
}

void ProductRemoval::Check(const wchar_t* step, bool ok) {
    LogStep(step, ok);
    if (!ok) ++m_registrationsFailed;
}

void ProductRemoval::RemovePlannedEntries(const RemovalPlan& plan, bool removeData,
                                          const std::function<void(double)>& progress) {
    // A folder of the plan that is a link now leads somewhere the setup never wrote: neither it
    // nor anything the plan lists below it is touched.
    std::vector<std::wstring> links;
    for (const RemovalEntry& entry : plan.entries) {
        if (entry.isFolder && IsLink(entry.path)) {
            InstallLog::Format(deploy::kLogUninstallLinkKept, entry.path.c_str());
            links.push_back(files::NormalisedPath(entry.path) + L"\\");
        }
    }
    auto belowLink = [&links](const std::wstring& path) {
        const std::wstring full = files::NormalisedPath(path) + L"\\";
        for (const std::wstring& link : links) {
            if (full.compare(0, link.size(), link) == 0) return true;
        }
        return false;
    };

    if (removeData) {
        const std::wstring users = JoinPath(m_versionFolder, deploy::kUsersFolderName);
        if (IsLink(users)) {
            InstallLog::Format(deploy::kLogUninstallLinkKept, users.c_str());
        } else if (FolderExists(users) && !DeleteFolderTree(users)) {
            Count(Outcome::kFailed);
        }
    }

    uint64_t bytesDone = 0;
    size_t entriesDone = 0;
    for (const RemovalEntry& entry : plan.entries) {
        ++entriesDone;
        if (belowLink(entry.path)) continue;
        if (entry.isFolder) {
            RemoveFolderIfEmpty(entry.path);
            continue;
        }
        if (FileOrFolderExists(entry.path)) Count(RemoveFile(entry.path));
        bytesDone += entry.size;
        if (progress) {
            const double done = plan.totalBytes > 0 ? static_cast<double>(bytesDone) / plan.totalBytes
                                                    : static_cast<double>(entriesDone) / plan.entries.size();
            progress(kProgressRegistrations + (kProgressFiles - kProgressRegistrations) * done);
        }
    }

    const std::wstring manifest = JoinPath(m_versionFolder, deploy::kManifestFileName);
    // With nothing else left the manifest goes with its folder. When the users' data (or what the
    // client wrote) stays, the manifest stays with it outside the product's default root: it is
    // what lets a later install into the same folder recognise the folder as the product's.
    if (HoldsOnlyManifest(m_versionFolder, deploy::kManifestFileName) || IsProductFolder(m_productRoot)) {
        if (FileExists(manifest)) Count(RemoveFile(manifest));
    }
    RemoveFolderIfEmpty(m_versionFolder);
}

void ProductRemoval::RemovePublicFiles() {
    for (const wchar_t* name : deploy::kPublicFiles) {
        const std::wstring path = JoinPath(m_productRoot, name);
        // The uninstaller's own file goes once it has ended (see FoldersLeftForLater).
        if (SamePath(path, m_ownImage)) continue;
        if (FileOrFolderExists(path)) Count(RemoveFile(path));
    }
}

void ProductRemoval::RemoveWorkFolders() {
    // The staging folders of every earlier setup run, all of them the product's.
    const std::wstring stagingRoot = StagingRootFolder();
    if (!stagingRoot.empty()) {
        const std::wstring staging = JoinPath(stagingRoot, deploy::kProductFolder);
        if (FileOrFolderExists(staging) && !DeleteFolderTree(staging)) Count(Outcome::kFailed);
        RemoveFolderIfEmpty(stagingRoot);
    }
    // The crash reporter's copies; the folder is the updater's too, so only they go.
    const std::wstring updateTemp = UpdateTempFolder();
    if (!updateTemp.empty() && FolderExists(updateTemp) && !IsLink(updateTemp)) {
        for (const wchar_t* name : deploy::kCrashReporterFiles) {
            const std::wstring path = JoinPath(updateTemp, name);
            if (FileExists(path)) Count(RemoveFile(path));
        }
        RemoveFolderIfEmpty(updateTemp);
    }
    // The updater's configuration, as far as it names this install.
    const std::wstring updateFolder = WithoutTrailingBackslash(UpdateFolder());
    if (!updateFolder.empty() && FolderExists(updateFolder) && !IsLink(updateFolder)) {
        const std::wstring ini = JoinPath(updateFolder, deploy::kQuietUpdateIniName);
        wchar_t current[MAX_PATH] = {};
        GetPrivateProfileStringW(deploy::kIniCurrentSection, deploy::kIniVersionPathKey, L"", current, MAX_PATH,
                                 ini.c_str());
        if (FileExists(ini) && SamePath(current, m_versionFolder)) Count(RemoveFile(ini));
        RemoveFolderIfEmpty(updateFolder);
    }
    const std::wstring misc = MiscFolder();
    if (!misc.empty() && FolderExists(misc) && !IsLink(misc)) {
        const std::wstring ini = JoinPath(misc, deploy::kOptionsFileName);
        if (FileExists(ini) && HoldsOnlySetupOptions(ini)) Count(RemoveFile(ini));
        RemoveFolderIfEmpty(misc);
    }

    // The product root and the product's folders above it. When the uninstaller runs from the root
    // they can only go after it has ended.
    std::vector<std::wstring> upper = {m_productRoot};
    const std::wstring appData = AppDataFolder();
    if (!appData.empty()) {
        const std::wstring company = JoinPath(appData, deploy::kCompanyFolder);
        upper.push_back(JoinPath(company, deploy::kProductFolder));
        upper.push_back(company);
    }
    const bool runningFromRoot =
        SamePath(JoinPath(m_productRoot, deploy::kUninstallerFileName), m_ownImage);
    // Files left for the next start keep these folders until then; they follow them.
    if (m_filesDeferred > 0) {
        for (const std::wstring& folder : upper) m_deferredFolders.insert(files::NormalisedPath(folder));
    }
    for (const std::wstring& folder : upper) {
        if (!runningFromRoot) {
            RemoveFolderIfEmpty(folder);
            continue;
        }
        m_foldersForLater.push_back(folder);
        if (m_deferredFolders.count(files::NormalisedPath(folder)) != 0)
            MoveFileExW(folder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
}

ProductRemoval::Outcome ProductRemoval::RemoveFile(const std::wstring& path) {
    if (DeleteFileW(path.c_str())) return Outcome::kRemoved;
    const DWORD error = GetLastError();
    // A file in use: moved out of its name, which a new install may need before the next start,
    // and deleted then; one that cannot even be moved is deleted in its place then.
    if (MoveAside(path) || MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
        InstallLog::Format(deploy::kLogUninstallDeferred, path.c_str());
        for (std::wstring folder = WithoutTrailingBackslash(ParentFolder(path));
             folder.size() > 3 && files::NormalisedPath(folder).size() >= files::NormalisedPath(m_productRoot).size();
             folder = WithoutTrailingBackslash(ParentFolder(folder))) {
            m_deferredFolders.insert(files::NormalisedPath(folder));
        }
        return Outcome::kDeferred;
    }
    InstallLog::Format(deploy::kLogUninstallNotRemoved, path.c_str(), static_cast<unsigned>(error));
    return Outcome::kFailed;
}

void ProductRemoval::RemoveFolderIfEmpty(const std::wstring& folder) {
    if (!FolderExists(folder)) return;
    if (IsLink(folder)) {
        InstallLog::Format(deploy::kLogUninstallLinkKept, folder.c_str());
        return;
    }
    if (RemoveDirectoryW(folder.c_str())) return;
    // Holding files that go at the next start, it goes right after them then.
    if (m_deferredFolders.count(files::NormalisedPath(folder)) != 0 &&
        MoveFileExW(folder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
        return;
    }
    InstallLog::Format(deploy::kLogUninstallFolderKept, folder.c_str());
}

void ProductRemoval::Count(Outcome outcome) {
    switch (outcome) {
        case Outcome::kRemoved: ++m_filesRemoved; break;
        case Outcome::kDeferred: ++m_filesDeferred; break;
        case Outcome::kFailed: ++m_filesFailed; break;
    }
}
