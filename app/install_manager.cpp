#include "app/install_manager.h"

#include <cwchar>
#include <cwctype>

#include "app/app_constants.h"
#include "app/install_client.h"
#include "app/install_errors.h"
#include "app/install_steps.h"
#include "common/product.h"
#include "deploy/deploy_constants.h"
#include "deploy/install_paths.h"
#include "diag/install_log.h"
#include "diag/trace_marks.h"

namespace {

// Progress constants; the two spans below are computed from them in floating point.
constexpr float kProgressExtracting = 0.01f;
constexpr float kProgressExtractStart = 0.11f;
constexpr float kProgressExtracted = 0.5f;
constexpr float kProgressRemovingOld = 0.51f;
constexpr float kProgressInstalling = 0.61f;
constexpr float kProgressDeployed = 0.87f;
constexpr float kProgressRegistering = 0.88f;
constexpr float kProgressWebComponent = 0.92f;
constexpr float kProgressWebComponentDone = 0.93f;
constexpr float kProgressSingleSignOnDone = 0.97f;
constexpr float kProgressLaunching = 0.99f;

constexpr uint32_t kDoneShutdownMs = 5000;
constexpr uint32_t kAbortShutdownMs = 1000;

// Telemetry codes of steps that fail without stopping the run.
constexpr uint32_t kErrorCleanOldShortcuts = 2001;
constexpr uint32_t kErrorDesktopShortcut = 2002;
constexpr uint32_t kErrorQuickLaunchOrStartMenu = 2004;
constexpr uint32_t kErrorMachineProductKey = 3001;
constexpr uint32_t kErrorUsersFolder = 4001;
constexpr uint32_t kErrorUrlProtocol = 5001;

constexpr wchar_t kStagedBin[] = L"\\program files\\Corvane\\Pelora\\Bin";
constexpr wchar_t kPinProgram[] = L"Bin\\explorer.exe";
constexpr wchar_t kLaunchArguments[] = L"/startsrc:install";
constexpr wchar_t kRunEntryArguments[] = L"/startsrc:boot /delaystart:1";

constexpr int kWebComponentAttempts = 2;
constexpr int kSingleSignOnAttempts = 3;
constexpr uint32_t kSingleSignOnRetryMs = 500;
constexpr int kSingleSignOnCopyBudget = 5000;

// Only a folder below a drive root ("X:\\...") can take the product: an empty or relative one would
// spread it over the current folder and the root of its drive.
bool IsAbsoluteFolder(const std::wstring& folder) {
    return folder.size() > 3 && iswalpha(folder[0]) && folder[1] == L':' && folder[2] == L'\\';
}

std::wstring Lowered(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(towlower(c));
    return text;
}

}  // namespace

InstallOptions MakeInstallOptions(SetupMode mode, int32_t autoStart, const std::wstring& sourceTag) {
    InstallOptions options;
    const std::wstring source = Lowered(sourceTag);
    if ((source == L"vt" || source == L"mivo") && mode == SetupMode::Fast) {
        options.launchAfterInstall = 0;
    } else if (autoStart == CommandLineOptions::kAutoStartTrue) {
        options.launchAfterInstall = 1;
    } else if (autoStart == CommandLineOptions::kAutoStartFalse) {
        options.launchAfterInstall = 0;
    }
    return options;
}

InstallManager::InstallManager(HINSTANCE module, IInstallClient* client, InstallSteps& steps)
    : m_pClient(client), m_hModule(module), m_steps(steps) {}

std::wstring InstallManager::InstallSource() const {
    std::wstring source = m_options.SourceTag();
    return source.empty() ? std::wstring(product::kDefaultInstallSource) : source;
}

int InstallManager::Init(const ResourceRef& helperResource, const ResourceRef& payloadResource) {
    CommandLineOptions options;
    ParseCommandLine(options);
    return Init(helperResource, payloadResource, options);
}

int InstallManager::Init(const ResourceRef& helperResource, const ResourceRef& payloadResource,
                         const CommandLineOptions& options) {
    m_options = options;
    m_mode = m_options.Mode();
    m_installOptions = MakeInstallOptions(m_mode, m_options.AutoStartValue(), m_options.SourceTag());

    if (m_mode == SetupMode::NoUi && m_steps.IsNewerVersionInstalled()) return 1;
    if (!m_steps.ExtractHelperDll(m_hModule, helperResource.type.c_str(), helperResource.id)) return 4;

    const std::wstring installSource = InstallSource();
    m_strFirstChannel = m_steps.ReadFirstChannel();
    if (m_strFirstChannel.empty()) m_strFirstChannel = installSource;
    // Read before this install writes its own values: it is the channel of an earlier install.
    const std::wstring registeredChannel = m_steps.ReadRegisteredChannel();
    if (!m_steps.ReportInit(m_strFirstChannel, registeredChannel, installSource, m_options.UserId())) {
        InstallLog::Format(L"[setup]report init failed, telemetry is off\n");
    }

    m_strStagingFolder = m_steps.CreateStagingFolder();
    m_strDefaultProductRoot = m_steps.DefaultProductRoot();
    m_strPreviousVersionFolder = m_steps.ReadInstallFolder();
    m_strVersion = product::kVersion;
    if (!m_options.InstallFolder().empty()) {
        m_strVersionFolder = JoinPath(m_options.InstallFolder(), m_strVersion);
    } else if (!m_strDefaultProductRoot.empty() && m_steps.IsValidInstallPath(m_strDefaultProductRoot)) {
        m_strVersionFolder = JoinPath(m_strDefaultProductRoot, m_strVersion);
    }
    m_payloadResource = payloadResource;
    return 0;
}

int InstallManager::SetInstallFolder(const std::wstring& chosen, std::wstring& replacement) {
    std::wstring versionFolder;
    const int verdict = m_steps.SetInstallFolder(chosen, m_dwRequiredSpace, versionFolder, replacement);
    m_strVersionFolder = versionFolder;
    if (verdict != 0) InstallLog::Format(app::kLogInstallFolderRefused, chosen.c_str(), verdict);
    else if (!replacement.empty()) InstallLog::Format(app::kLogInstallFolderReplaced, m_strVersionFolder.c_str());
    return verdict;
}

bool InstallManager::StartExtract() {
    m_nState = 1;
    if (Start() && Post(kMessageExtract, 0, 0)) return true;
    InstallLog::Format(app::kLogWorkerNotGiven, L"extraction", GetLastError());
    return false;
}

bool InstallManager::StartInstall() {
    m_nStartTime = m_steps.Now();
    if (Post(kMessageInstall, 0, 0)) return true;
    InstallLog::Format(app::kLogWorkerNotGiven, L"installation", GetLastError());
    return false;
}

void InstallManager::Abort() {
    // The user has confirmed: the extraction stops now, not after telemetry's second.
    Stop(false, 0);
    m_steps.ReportInstallerAbort();
    m_steps.ReportShutdown(kAbortShutdownMs);
}

bool InstallManager::Shutdown(DWORD milliseconds) {
    if (Join(milliseconds)) return true;
    InstallLog::Format(app::kLogWorkerStillRunning, static_cast<unsigned long>(milliseconds));
    std::lock_guard<std::mutex> lock(m_clientLock);
    m_pClient = nullptr;
    return false;
}

void InstallManager::ReportError(std::unique_ptr<InstallError> error) {
    std::lock_guard<std::mutex> lock(m_clientLock);
    if (MayReport()) m_pClient->OnError(error.release());
}

void InstallManager::SetProgress(float fraction) {
    std::lock_guard<std::mutex> lock(m_clientLock);
    if (MayReport()) m_pClient->OnProgress(fraction);
}

void InstallManager::SetStep(int32_t step) {
    switch (step) {
        case kStepExtracting: SetProgress(kProgressExtracting); break;
        case kStepExtracted: SetProgress(kProgressExtracted); break;
        case kStepInstalling: SetProgress(kProgressInstalling); break;
        case kStepRemovingOldVersion: SetProgress(kProgressRemovingOld); break;
        case kStepFinished: {
            const int64_t elapsed = m_steps.Now() - m_nStartTime;
            m_steps.ReportInstallerDone(static_cast<uint32_t>(elapsed < 0 ? 0 : elapsed));
            m_steps.ReportShutdown(kDoneShutdownMs);
            break;
        }
        default: break;
    }
    std::lock_guard<std::mutex> lock(m_clientLock);
    if (MayReport()) m_pClient->OnStep(step);
}

void InstallManager::OnMessage(const MSG& message) {
    if (message.message == kMessageExtract) RunExtraction();
    else if (message.message == kMessageInstall) RunInstallation();
}

void InstallManager::OnProgress(uint32_t bytesDone, uint32_t bytesTotal) {
    const float span = kProgressExtracted - kProgressExtractStart;
    const float done = bytesTotal == 0 ? 0.0f : static_cast<float>(bytesDone) / static_cast<float>(bytesTotal);
    SetProgress(kProgressExtractStart + span * done);
}

bool InstallManager::IsCancelled() {
    return StopRequested();
}

void InstallManager::OnProgress(float fraction) {
    SetProgress(kProgressInstalling + (kProgressDeployed - kProgressInstalling) * fraction);
}

void InstallManager::RunExtraction() {
    SetStep(kStepExtracting);
    const bool extracted = m_steps.ExtractPayload(m_payloadResource.type.c_str(), m_payloadResource.id, m_hModule,
                                                  m_strStagingFolder, &m_bDiskLow, this);
    if (!extracted || StopRequested()) {
        m_nState = 3;
        // Nothing will be installed: the folders the folder check made go again.
        m_steps.RemoveFailedInstall();
        // A run that is ending neither arms the crash monitor nor reports: nobody waits for it.
        if (StopRequested()) InstallLog::Format(app::kLogExtractionStopped);
        else ReportError(std::make_unique<ExtractError>(m_bDiskLow));
        return;
    }
    m_nState = 2;
    // The crash reporter runs from the update temp folder, away from the folders that the
    // installation replaces.
    const std::wstring stagedBin = m_strStagingFolder + kStagedBin;
    const std::wstring reporterFolder = m_steps.UpdateTempFolder();
    bool copied = true;
    for (const wchar_t* name : deploy::kCrashReporterFiles) {
        if (!m_steps.CopyOneFile(JoinPath(stagedBin, name), JoinPath(reporterFolder, name))) {
            copied = false;
            break;
        }
    }
    if (copied) m_steps.StartCrashMonitor(JoinPath(stagedBin, deploy::kCrashReporterFiles[0]), m_strPreviousVersionFolder);
    SetStep(kStepExtracted);
}

void InstallManager::RunInstallation() {
    if (m_nState == 3) {
        // Installing from a half-extracted staging folder would deploy a broken product.
        InstallLog::Format(L"[setup]extraction failed, installation not started\n");
        m_steps.RemoveFailedInstall();
        return;
    }
    if (!IsAbsoluteFolder(m_strVersionFolder)) {
        InstallLog::Format(app::kLogNoVersionFolder, m_strVersionFolder.c_str());
        m_steps.RemoveFailedInstall();
        ReportError(std::make_unique<InstallError>(InstallError::kUnknown));
        return;
    }
    m_steps.ReportInstallerStart();

    m_steps.RemoveLeftovers();
    if (!m_strPreviousVersionFolder.empty() && m_steps.IsFolder(m_strPreviousVersionFolder)) {
        SetStep(kStepRemovingOldVersion);
        for (uint32_t code : m_steps.UninstallPrevious(m_strPreviousVersionFolder, m_strStagingFolder, this))
            m_steps.ReportInstallerError(code);
    }
    SetStep(kStepInstalling);

    // Only the product's own version folder is cleared. Somebody's folder that carries the
    // version's name is neither emptied nor installed into: the install fails instead.
    if (m_steps.HoldsForeignData(m_strVersionFolder)) {
        InstallLog::Format(deploy::kLogForeignInstallFolder, m_strVersionFolder.c_str());
        m_steps.RemoveFailedInstall();
        ReportError(std::make_unique<ExtractError>(m_strVersionFolder));
        return;
    }
    const std::wstring cleared = m_steps.OsMajorVersion() > 5 ? m_strVersionFolder : JoinPath(m_strVersionFolder, L"Bin");
    if (m_steps.IsFolder(cleared) && m_steps.IsProductFolder(cleared)) m_steps.DeleteFolderTree(cleared);

    trace::Mark(L"[trace]old version and leftovers handled");
    std::wstring lastFailedFile;
    if (m_steps.DeployFiles(m_strStagingFolder, this, m_strVersionFolder, JoinPath(m_strVersionFolder, deploy::kManifestFileName),
                            &lastFailedFile) == 0) {
        FailDeployment(lastFailedFile);
        return;
    }
    trace::Mark(L"[trace]version folder deployed");

    const std::wstring productRoot = ParentFolder(m_strVersionFolder);
    // The shortcuts, the service and the uninstall entry point at these files: one that could not
    // be written whole ends the install before anything is registered.
    std::wstring publicFailedFile;
    if (m_steps.CopyPublicFileToInstallDir(m_strVersionFolder, &publicFailedFile) < 0) {
        FailDeployment(publicFailedFile);
        return;
    }
    m_steps.ResetUpdateState();
    m_steps.CopySystemProfile(m_strStagingFolder);
    trace::Mark(L"[trace]public files and system profile copied");
    CreateShortcuts(productRoot);
    trace::Mark(L"[trace]shortcuts made");
    SetProgress(kProgressDeployed);
    RunRegistration(productRoot);
}

void InstallManager::FailDeployment(const std::wstring& failedFile) {
    // Half a product would look installed to the user and to the next setup: what this run has
    // written to the install drive goes again, and nothing is registered.
    InstallLog::Format(app::kLogInstallFailedAt, failedFile.c_str());
    m_steps.RemoveFailedInstall();
    ReportError(std::make_unique<ExtractError>(failedFile));
}

void InstallManager::CreateShortcuts(const std::wstring& productRoot) {
    const std::wstring launcher = JoinPath(productRoot, deploy::kLauncherFileName);
    if (!m_steps.RemoveOldShortcuts()) m_steps.ReportInstallerError(kErrorCleanOldShortcuts);
    if (m_installOptions.desktopShortcut && !m_steps.CreateDesktopShortcut(launcher)) {
        m_steps.ReportInstallerError(kErrorDesktopShortcut);
    }
    if (m_installOptions.quickLaunchAndPin &&
        !m_steps.CreateQuickLaunchShortcut(launcher, JoinPath(m_strVersionFolder, kPinProgram))) {
        m_steps.ReportInstallerError(kErrorQuickLaunchOrStartMenu);
    }
    if (!m_steps.CreateStartMenuShortcuts(launcher, JoinPath(productRoot, deploy::kUninstallerFileName))) {
        m_steps.ReportInstallerError(kErrorQuickLaunchOrStartMenu);
    }
    m_steps.NotifyAssociationsChanged();
}

void InstallManager::RunRegistration(const std::wstring& productRoot) {
    const std::wstring launcher = JoinPath(productRoot, deploy::kLauncherFileName);
    SetProgress(kProgressRegistering);
    SetStep(kStepRegistering);

    RegisterWebComponent(productRoot);
    trace::Mark(L"[trace]web component registered");
    InstallSingleSignOn();
    trace::Mark(L"[trace]single sign-on installed");

    if (m_steps.OsVersionCode() > 0x5FF) m_steps.RegisterSharedService(JoinPath(productRoot, deploy::kServiceDllFileName));
    trace::Mark(L"[trace]shared service registered");

    const std::wstring installSource = InstallSource();
    m_steps.WriteProductKey(m_strVersionFolder, installSource, HKEY_CURRENT_USER, L"False", false);
    if (!m_steps.WriteProductKey(m_strVersionFolder, installSource, HKEY_LOCAL_MACHINE, L"False", true)) {
        m_steps.ReportInstallerError(kErrorMachineProductKey);
    }
    trace::Mark(L"[trace]product keys written");
    if (!m_steps.MigrateUsersFolder(m_strPreviousVersionFolder, m_strStagingFolder, m_strVersionFolder)) {
        m_steps.ReportInstallerError(kErrorUsersFolder);
    }
    trace::Mark(L"[trace]users folder carried over");
    if (!m_steps.WriteProtocolInfo(launcher)) m_steps.ReportInstallerError(kErrorUrlProtocol);

    const std::wstring clientPath = L"\\bin\\" + std::wstring(deploy::kClientFileName);
    if (!m_strPreviousVersionFolder.empty()) {
        m_steps.RemoveFirewallException(m_strPreviousVersionFolder + clientPath, deploy::kDisplayName);
    }
    m_steps.AddFirewallException(m_strVersionFolder + clientPath, deploy::kDisplayName);
    trace::Mark(L"[trace]firewall exception added");

    m_steps.DeleteVersion(m_strVersionFolder);
    SetProgress(kProgressLaunching);
    LaunchClient(launcher);
    trace::Mark(L"[trace]client launched");

    if (m_installOptions.runAtStartup) {
        wchar_t commandLine[520];
        int written = _snwprintf(commandLine, 520, L"\"%s\" %s", launcher.c_str(), kRunEntryArguments);
        if (written >= 0 && written < 520) {
            m_steps.WriteRunEntry(commandLine);
        } else {
            InstallLog::Format(L"[setup]run entry too long, not written\n");
        }
    }
    SetStep(kStepFinished);
}

void InstallManager::RegisterWebComponent(const std::wstring& productRoot) {
    SetProgress(kProgressWebComponent);
    m_steps.InitializeOle();
    const std::wstring dll = JoinPath(productRoot, deploy::kWebComponentFileName);
    for (int attempt = 0; attempt < kWebComponentAttempts; ++attempt) {
        if (m_steps.RegisterWebComponent(dll)) break;
    }
    m_steps.UninitializeOle();
    SetProgress(kProgressWebComponentDone);
}

void InstallManager::InstallSingleSignOn() {
    wchar_t installer[MAX_PATH];
    wchar_t folder[MAX_PATH];
    const int installerLength = _snwprintf(installer, MAX_PATH, L"%s\\program files\\Corvane\\Pelora\\Misc\\CVSSO\\InstCVSSO.exe",
                                           m_strStagingFolder.c_str());
    const int folderLength = _snwprintf(folder, MAX_PATH, L"%s\\program files\\Corvane\\Pelora\\Misc\\CVSSO\\CVSSO",
                                        m_strStagingFolder.c_str());
    if (installerLength < 0 || installerLength >= MAX_PATH || folderLength < 0 || folderLength >= MAX_PATH) {
        // A cut path would start some other program; the component is optional.
        InstallLog::Format(L"[setup]single-sign-on installer path too long\n");
    } else {
        int failures = 0;
        for (int attempt = 0; attempt < kSingleSignOnAttempts; ++attempt) {
            if (m_steps.LaunchSsoInstaller(installer, folder)) break;
            ++failures;
            if (attempt + 1 < kSingleSignOnAttempts) m_steps.Sleep(kSingleSignOnRetryMs);
        }
        // The installer could not be started twice: keep a copy of the component beside the product
        // so that the client can install it later.
        if (failures >= 2) {
            m_steps.CopyFolderTree(m_strStagingFolder + L"\\CVSSO\\CVSSO", m_strVersionFolder + L"\\Misc\\CVSSO\\CVSSO",
                                   kSingleSignOnCopyBudget);
        }
    }
    SetProgress(kProgressSingleSignOnDone);
}

void InstallManager::LaunchClient(const std::wstring& launcher) {
    const std::wstring startArguments = m_options.StartArguments();
    if (!startArguments.empty()) {
        m_steps.LaunchAsUser(std::wstring(kLaunchArguments) + L" " + startArguments, launcher);
    } else if (m_installOptions.launchAfterInstall) {
        m_steps.LaunchAsUser(kLaunchArguments, launcher);
    }
}
