#include "deploy/product_removal.h"

#include <windows.h>

#include <set>

#include "deploy/client_process.h"
#include "deploy/created_places.h"
#include "deploy/deploy_constants.h"
#include "deploy/file_system.h"
#include "deploy/files/path_identity.h"
#include "deploy/files/path_links.h"
#include "deploy/firewall_exception.h"
#include "deploy/install_paths.h"
#include "deploy/previous_install.h"
#include "deploy/previous_install_constants.h"
#include "deploy/product_folder.h"
#include "deploy/product_registry.h"
#include "deploy/product_shortcuts.h"
#include "deploy/removal_constants.h"
#include "deploy/removal_records.h"
#include "deploy/service_library.h"
#include "deploy/shared_service.h"
#include "deploy/web_component_digest.h"
#include "deploy/shell_registration.h"
#include "deploy/system_files.h"
#include "diag/diag_constants.h"
#include "diag/install_log.h"
#include "diag/text_format.h"
#include "diag/win_handle.h"
#include "diag/windows_version.h"

namespace {

// Share of the progress bar: the registrations first, then the files, then the small rest.
constexpr double kProgressRegistrations = 0.10;
constexpr double kProgressFiles = 0.90;

void (*g_pauseAfterUnregistration)() = nullptr;

bool SamePath(const std::wstring& a, const std::wstring& b) { return files::IsSameObject(a, b); }

// `path` is `folder` or lies below it, both normalised.
bool IsSameOrBelowText(const std::wstring& path, const std::wstring& folder) {
    return path.compare(0, folder.size(), folder) == 0 && (path.size() == folder.size() || path[folder.size()] == L'\\');
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

// The product's logs: "PeloraInstall.txt" and the binary logs "Pelora*.tlg" (with ".1", ".2").
bool IsProductLogName(const std::wstring& name) {
    std::wstring upper = name;
    CharUpperBuffW(&upper[0], static_cast<DWORD>(upper.size()));
    if (upper.compare(0, 6, L"PELORA") != 0) return false;
    return lstrcmpiW(name.c_str(), diag::kInstallLogFileName) == 0 || upper.find(L".TLG") != std::wstring::npos;
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
    // A link anywhere on the way, not only at the last two levels, leads the removal elsewhere.
    if (!files::LinkOnPath(versionFolder).empty())
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
    m_madeFolders = ReadMadeFolders(HKEY_CURRENT_USER);
    return true;
}

void ProductRemoval::SetPauseAfterUnregistration(void (*pause)()) { g_pauseAfterUnregistration = pause; }

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
        // With nothing else left the manifest goes with its folder. When the users' data (or what
        // the client wrote) stays, the manifest stays with it outside the product's default root:
        // it is what lets a later install into the same folder recognise the folder as the
        // product's.
        const std::wstring manifest = JoinPath(m_versionFolder, deploy::kManifestFileName);
        if (FileExists(manifest) && (HoldsOnlyProductRemains(m_versionFolder) || IsProductFolder(m_productRoot)))
            RemoveFile(manifest);
        m_held.clear();
        RemoveFolderIfEmpty(m_versionFolder);
        RetireOwnImage();
        LogStep(L"product key", DeleteProductKey(m_versionFolder, HKEY_CURRENT_USER, false));
        LogStep(L"machine product key", DeleteProductKey(m_versionFolder, HKEY_LOCAL_MACHINE, true));
        RemoveCreatedKeys(createdPlaces);
        if (!m_leftovers.empty()) RecordLeftovers(m_leftovers);
    } else {
        // The manifest, the product key and the uninstall entry stay: a second run finds the
        // install again and removes what is left.
        InstallLog::Format(deploy::kLogUninstallKeysKept);
    }
    m_held.clear();
    report(1.0);
    InstallLog::Format(deploy::kLogUninstallDone, complete ? 0 : 1, static_cast<unsigned>(GetTickCount() - start));
    return complete ? 0 : 1;
}

void ProductRemoval::UndoRegistrations() {
    const std::wstring launcher = JoinPath(m_productRoot, deploy::kLauncherFileName);
    // The web component's own registration: a component that cannot unregister itself is its
    // own business and does not hold the removal up.
    const std::wstring webComponent = JoinPath(m_productRoot, deploy::kWebComponentFileName);
    LogStep(L"web component", UnregisterServer(webComponent, RecordedWebComponentDigest()));
    if (g_pauseAfterUnregistration) g_pauseAfterUnregistration();
    // Needs the client's file, so it comes before the files go.
    RemoveFirewallException(JoinPath(m_versionFolder, L"bin\\") + deploy::kClientFileName, deploy::kDisplayName);
    if (IsVistaOrLater()) UndoSharedService();

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

void ProductRemoval::UndoSharedService() {
    // The service runs the copy in the administrators' folder, or, registered by an older setup,
    // the product root's library.
    const std::wstring libraryFolder = ServiceLibraryFolder();
    std::vector<std::wstring> libraries = {JoinPath(m_productRoot, deploy::kServiceDllFileName)};
    if (!libraryFolder.empty()) libraries.push_back(JoinPath(libraryFolder, deploy::kServiceDllFileName));
    const bool unregistered = UnregisterSharedService(libraries);
    Check(L"service", unregistered);
    // A service still registered keeps its library for a second run.
    if (unregistered && !libraryFolder.empty()) Check(L"service library", RemoveServiceLibrary(libraryFolder));
}

void ProductRemoval::Check(const wchar_t* step, bool ok) {
    LogStep(step, ok);
    if (!ok) ++m_registrationsFailed;
}

void ProductRemoval::RemovePlannedEntries(const RemovalPlan& plan, bool removeData,
                                          const std::function<void(double)>& progress) {
    if (removeData) {
        const std::wstring users = JoinPath(m_versionFolder, deploy::kUsersFolderName);
        if (!files::LinkOnPath(users).empty()) {
            InstallLog::Format(deploy::kLogUninstallLinkKept, users.c_str());
        } else if (FolderExists(users) && !DeleteFolderTree(users)) {
            Count(Outcome::kLeft, users);
        }
    }

    // Every folder is reached from the drive root through held handles; a folder of the plan that
    // is a link now, or was swapped since it was listed, is refused with all the plan lists below it.
    uint64_t bytesDone = 0;
    size_t entriesDone = 0;
    const std::wstring manifest = JoinPath(m_versionFolder, deploy::kManifestFileName);
    for (const RemovalEntry& entry : plan.entries) {
        ++entriesDone;
        if (entry.isFolder) {
            RemoveFolderIfEmpty(entry.path);
            continue;
        }
        // The manifest goes last, when nothing else has stayed.
        if (!SamePath(entry.path, manifest)) RemoveFile(entry.path);
        bytesDone += entry.size;
        if (progress) {
            const double done = plan.totalBytes > 0 ? static_cast<double>(bytesDone) / plan.totalBytes
                                                    : static_cast<double>(entriesDone) / plan.entries.size();
            progress(kProgressRegistrations + (kProgressFiles - kProgressRegistrations) * done);
        }
    }
}

bool ProductRemoval::HoldsOnlyProductRemains(const std::wstring& folder) const {
    // Files deferred to the next start lie here under side names; they go then, so they keep the
    // manifest no more than empty folders and folder links do.
    WIN32_FIND_DATAW found;
    diag::ScopedFindHandle find(FindFirstFileW(JoinPath(folder, L"*").c_str(), &found));
    if (!find.IsValid()) return true;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = JoinPath(folder, name);
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 && !HoldsOnlyProductRemains(path))
                return false;
        } else if (!SamePath(folder, m_versionFolder) || name != deploy::kManifestFileName) {
            if (m_deferredFiles.count(files::NormalisedPath(path)) == 0) return false;
        }
    } while (FindNextFileW(find.Get(), &found));
    return true;
}

void ProductRemoval::RemovePublicFiles() {
    for (const wchar_t* name : deploy::kPublicFiles) {
        const std::wstring path = JoinPath(m_productRoot, name);
        // The uninstaller's own file goes once everything else is done (RetireOwnImage).
        if (SamePath(path, m_ownImage)) continue;
        RemoveFile(path);
    }
    Release(m_productRoot);
}

void ProductRemoval::RemoveWorkFolders() {
    // The staging folders of every earlier setup run, all of them the product's.
    const std::wstring stagingRoot = StagingRootFolder();
    if (!stagingRoot.empty()) {
        const std::wstring staging = JoinPath(stagingRoot, deploy::kProductFolder);
        if (FileOrFolderExists(staging) && !DeleteFolderTree(staging)) Count(Outcome::kLeft, staging);
        RemoveFolderIfEmpty(stagingRoot);
    }
    // The crash reporter's copies; the folder is the updater's too, so only they go.
    const std::wstring updateTemp = UpdateTempFolder();
    if (!updateTemp.empty() && FolderExists(updateTemp)) {
        for (const wchar_t* name : deploy::kCrashReporterFiles) RemoveFile(JoinPath(updateTemp, name));
        RemoveFolderIfEmpty(updateTemp);
    }
    // The updater's configuration, as far as it names this install.
    const std::wstring updateFolder = WithoutTrailingBackslash(UpdateFolder());
    if (!updateFolder.empty() && FolderExists(updateFolder)) {
        const std::wstring ini = JoinPath(updateFolder, deploy::kQuietUpdateIniName);
        wchar_t current[MAX_PATH] = {};
        GetPrivateProfileStringW(deploy::kIniCurrentSection, deploy::kIniVersionPathKey, L"", current, MAX_PATH,
                                 ini.c_str());
        if (FileExists(ini) && SamePath(current, m_versionFolder)) RemoveFile(ini);
        RemoveFolderIfEmpty(updateFolder);
    }
    const std::wstring misc = MiscFolder();
    if (!misc.empty() && FolderExists(misc)) {
        const std::wstring ini = JoinPath(misc, deploy::kOptionsFileName);
        if (FileExists(ini) && HoldsOnlySetupOptions(ini)) RemoveFile(ini);
        RemoveFolderIfEmpty(misc);
    }
}

void ProductRemoval::RetireOwnImage() {
    // Running, the uninstaller's own file cannot be deleted; it leaves its name at once (so that a
    // setup started right after it can write a new one) and goes at the next start.
    if (SamePath(ParentFolder(m_ownImage), m_productRoot)) RemoveFile(m_ownImage);
    m_held.clear();
    // The product root and the product's folders above it, when the setup made them.
    std::vector<std::wstring> upper = {m_productRoot};
    const std::wstring appData = AppDataFolder();
    if (!appData.empty()) {
        const std::wstring company = JoinPath(appData, deploy::kCompanyFolder);
        upper.push_back(JoinPath(company, deploy::kProductFolder));
        upper.push_back(company);
    }
    for (const std::wstring& folder : m_madeFolders) {
        if (files::IsSameOrInside(m_productRoot, folder) && !SamePath(folder, m_productRoot)) upper.push_back(folder);
    }
    for (const std::wstring& folder : upper) {
        if (!MayRemoveFolder(folder)) continue;
        // Files left for the next start keep these folders until then; they follow them.
        if (m_filesDeferred > 0) m_deferredFolders.insert(files::NormalisedPath(folder));
        RemoveFolderIfEmpty(folder);
    }
}

bool ProductRemoval::MayRemoveFolder(const std::wstring& folder) const {
    for (const std::wstring& made : m_madeFolders) {
        if (SamePath(folder, made)) return true;
    }
    // Installs made before the setup recorded its folders: the default layout's own folders.
    const std::wstring appData = AppDataFolder();
    if (appData.empty()) return false;
    const std::wstring company = JoinPath(appData, deploy::kCompanyFolder);
    for (const std::wstring& own : {DefaultProductRoot(), JoinPath(company, deploy::kProductFolder), company}) {
        if (SamePath(folder, own)) return true;
    }
    return false;
}

const files::HeldFolder* ProductRemoval::Held(const std::wstring& folder) {
    const std::wstring key = files::NormalisedPath(folder);
    if (key.empty()) return nullptr;
    auto found = m_held.find(key);
    if (found == m_held.end()) {
        auto held = std::make_unique<files::HeldFolder>(files::HeldFolder::Open(folder, m_productRoot));
        if (!held->IsValid() && FileOrFolderExists(folder))
            InstallLog::Format(deploy::kLogUninstallFolderNotHeld, folder.c_str(), held->Reason(),
                               held->RefusedAt().c_str());
        found = m_held.emplace(key, std::move(held)).first;
    }
    return found->second->IsValid() ? found->second.get() : nullptr;
}

void ProductRemoval::Release(const std::wstring& folder) {
    const std::wstring key = files::NormalisedPath(folder);
    for (auto held = m_held.begin(); held != m_held.end();) {
        held = IsSameOrBelowText(held->first, key) ? m_held.erase(held) : std::next(held);
    }
}

void ProductRemoval::RemoveFile(const std::wstring& path) {
    const std::wstring folder = WithoutTrailingBackslash(ParentFolder(path));
    const std::wstring name = LastComponent(path);
    const files::HeldFolder* held = Held(folder);
    if (held == nullptr) {
        // A folder that is gone leaves nothing to remove; one refused (a link, a swapped folder)
        // keeps what it holds, and the product registered.
        if (FileOrFolderExists(folder)) Count(Outcome::kLeft, path);
        return;
    }
    std::vector<files::FolderEntry> entries;
    if (!files::ListFolder(held->Handle(), entries)) {
        Count(Outcome::kLeft, path);
        return;
    }
    for (const files::FolderEntry& entry : entries) {
        // The file itself, and what earlier runs moved aside under its name.
        if (lstrcmpiW(entry.name.c_str(), name.c_str()) != 0 && !IsSideNameOf(entry.name, name)) continue;
        if (entry.IsFolder() && !entry.IsLink()) continue;  // not what the manifest listed
        std::wstring leftover;
        const Outcome outcome = DeleteOrDefer(*held, entry, &leftover);
        if (outcome == Outcome::kDeferred) {
            m_deferredFiles.insert(files::NormalisedPath(leftover));
            for (std::wstring above = folder; !above.empty() && files::IsSameOrInside(above, m_productRoot);
                 above = files::FolderAbove(above)) {
                m_deferredFolders.insert(files::NormalisedPath(above));
            }
        }
        Count(outcome, outcome == Outcome::kLeft ? leftover : std::wstring());
    }
}

void ProductRemoval::RemoveFolderIfEmpty(const std::wstring& folder) {
    if (!FolderExists(folder)) return;
    Release(folder);
    if (!files::LinkOnPath(folder).empty()) {
        InstallLog::Format(deploy::kLogUninstallLinkKept, folder.c_str());
        return;
    }
    if (RemoveEmptyFolder(folder)) return;
    // Holding files that go at the next start, it goes right after them then (a folder is only
    // removed then when it is empty).
    if (m_deferredFolders.count(files::NormalisedPath(folder)) != 0 &&
        MoveFileExW(folder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
        return;
    }
    InstallLog::Format(deploy::kLogUninstallFolderKept, folder.c_str());
}

void ProductRemoval::RemoveProductLogs() {
    const std::wstring appData = AppDataFolder();
    if (appData.empty()) return;
    const std::wstring company = JoinPath(appData, deploy::kCompanyFolder);
    const std::wstring logs = JoinPath(company, diag::kLogsFolder);
    {
        const files::HeldFolder held = files::HeldFolder::Open(logs, logs);
        std::vector<files::FolderEntry> entries;
        if (!held.IsValid() || !files::ListFolder(held.Handle(), entries)) return;
        for (const files::FolderEntry& entry : entries) {
            if (entry.IsFolder() || !IsProductLogName(entry.name)) continue;
            DeleteOrDefer(held, entry);
        }
    }
    if (RemoveEmptyFolder(logs)) RemoveEmptyFolder(company);
}

void ProductRemoval::Count(Outcome outcome, const std::wstring& leftover) {
    switch (outcome) {
        case Outcome::kRemoved: ++m_filesRemoved; break;
        case Outcome::kDeferred: ++m_filesDeferred; break;
        case Outcome::kLeft:
            ++m_filesFailed;
            if (!leftover.empty()) {
                InstallLog::Format(deploy::kLogUninstallFileLeft, leftover.c_str());
                m_leftovers.push_back(leftover);
            }
            break;
    }
}
