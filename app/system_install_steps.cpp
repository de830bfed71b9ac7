// The real routines behind the install engine's seam.
#include "app/install_steps.h"

#include "app/crash_identity.h"
#include "app/install_manager.h"
#include "app/payload_code.h"
#if defined(PELORA_CRASH_TRIGGER)
#include "app/test_access_list_echo.h"
#include "app/test_crash_trigger.h"
#include "app/test_deletion_pause.h"
#include "app/test_lost_report.h"
#include "app/test_missing_worker.h"
#include "app/test_registration_pause.h"
#include "app/test_slow_extraction.h"
#endif

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <ctime>

#include "deploy/created_places.h"
#include "deploy/deploy_constants.h"
#include "deploy/file_deployer.h"
#include "deploy/file_system.h"
#include "deploy/public_files.h"
#include "deploy/firewall_exception.h"
#include "deploy/install_footprint.h"
#include "deploy/install_folder_check.h"
#include "deploy/install_paths.h"
#include "deploy/launch_as_user.h"
#include "deploy/previous_install.h"
#include "deploy/product_folder.h"
#include "deploy/product_registry.h"
#include "deploy/product_shortcuts.h"
#include "deploy/removal_records.h"
#include "deploy/service_library.h"
#include "deploy/service_library_constants.h"
#include "deploy/shared_service.h"
#include "deploy/shared_service_constants.h"
#include "deploy/shell_pin_requests.h"
#include "deploy/shell_registration.h"
#include "deploy/system_files.h"
#include "deploy/update_config.h"
#include "deploy/verified_code.h"
#include "deploy/web_component_digest.h"
#include "diag/crash_constants.h"
#include "diag/crash_monitor.h"
#include "diag/install_log.h"
#include "diag/windows_version.h"
#include "extract/payload_digests.h"
#include "extract/payload_extractor.h"
#include "report/installer_events.h"

namespace {

constexpr uint32_t kSetupCrashFlags = 8;

class SystemSteps final : public InstallSteps {
public:
    bool IsNewerVersionInstalled() override { return ::IsNewerVersionInstalled(); }
    bool ExtractHelperDll(HINSTANCE module, const wchar_t* type, int id) override {
        return m_systemFiles.Provide(SystemHelperDllPath(), [&] { return ::ExtractHelperDll(module, type, id); });
    }
    bool ReportInit(const std::wstring& firstChannel, const std::wstring& registeredChannel,
                    const std::wstring& installSource, const std::wstring& userId) override {
        return ::ReportInit(firstChannel, registeredChannel, installSource, userId);
    }
    std::wstring ReadFirstChannel() override { return ::ReadFirstChannel(); }
    std::wstring ReadRegisteredChannel() override { return ::ReadRegisteredChannel(); }
    std::wstring ReadInstallFolder() override { return ::ReadInstallFolder(); }
    std::wstring CreateStagingFolder() override { return ::CreateStagingFolder(); }
    std::wstring DefaultProductRoot() override { return ::DefaultProductRoot(); }
    bool IsValidInstallPath(const std::wstring& path) override { return ::IsValidInstallPath(path); }
    int SetInstallFolder(const std::wstring& chosen, uint32_t requiredBytes, std::wstring& versionFolder,
                         std::wstring& replacement) override {
        // The check makes the chosen folder (or the fallback below the setup's own folder): those
        // folders are this run's, to be taken back with the rest when the install fails.
        const auto missing = InstallFootprint::MissingFolders(chosen);
        const auto missingFallback = InstallFootprint::MissingFolders(VersionFolderOf(SetupFolder()));
        const int verdict = ::SetInstallFolder(chosen, requiredBytes, versionFolder, replacement);
        // A refused folder is not used: what its check made (the write probe's parents) goes at once.
        InstallFootprint refused;
        InstallFootprint& made = verdict == kInstallFolderOk ? m_footprint : refused;
        made.NoteMadeFolders(missing);
        made.NoteMadeFolders(missingFallback);
        if (!refused.Empty()) refused.RemoveAll();
        return verdict;
    }

    bool ExtractPayload(const wchar_t* type, int id, HINSTANCE module, const std::wstring& stagingFolder,
                        bool* diskLow, IExtractProgressCallback* callback) override {
        extract::KeepPayloadDigests(PayloadCodeEntries());
#if defined(PELORA_CRASH_TRIGGER)
        SlowExtractionForTesting slowed(callback);
        callback = slowed.Callback();
#endif
        return ::ExtractPayload(type, id, module, stagingFolder, diskLow, callback);
    }
    std::wstring UpdateTempFolder() override { return ::UpdateTempFolder(); }
    bool CopyOneFile(const std::wstring& source, const std::wstring& target) override {
        CreateFolderPath(ParentFolder(target));
        if (CopyFileW(source.c_str(), target.c_str(), FALSE)) return true;
        InstallLog::Format(L"[setup]copy %s to %s failed, error %lu\n", source.c_str(), target.c_str(), GetLastError());
        return false;
    }
    void StartCrashMonitor(const std::wstring& crashReporter, const std::wstring& previousVersionFolder) override {
        // The reporter is started by the crashing setup, with its rights and a handle to it: it and
        // the libraries beside it stay held, as the archive had them, for the rest of the run. A
        // crash without them ends with the fallback box.
        const std::wstring reporter = HoldCrashReporter(crashReporter) ? crashReporter : std::wstring();
        wchar_t running[MAX_PATH + 1] = {};
        GetModuleFileNameW(nullptr, running, MAX_PATH);
        if (!diag::InstallCrashHandler(app::MakeSetupCrashIdentity(running))) {
            InstallLog::Format(diag::kLogCrashMonitorFailed, GetLastError());
            return;
        }
        diag::ArmCrashFilter();
        diag::SetCrashReporterPath(reporter);
        diag::SetCrashFlags(kSetupCrashFlags);
        const int userNumber = FindUserNumber(previousVersionFolder);
        diag::SetCrashUserNumber(static_cast<uint32_t>(userNumber));
        InstallLog::Format(diag::kLogCrashMonitorArmed, reporter.c_str(), userNumber);
#if defined(PELORA_CRASH_TRIGGER)
        ProvokeTestCrash();
#endif
    }

    void ReportInstallerStart() override { ::ReportInstallerStart(); }
    void ReportInstallerDone(uint32_t elapsedSeconds) override { ::ReportInstallerDone(elapsedSeconds); }
    void ReportInstallerAbort() override { ::ReportInstallerAbort(); }
    void ReportInstallerError(uint32_t code) override { ::ReportInstallerError(code); }
    void ReportShutdown(uint32_t milliseconds) override { ::ReportShutdown(milliseconds); }

    bool IsFolder(const std::wstring& path) override { return !path.empty() && FolderExists(path); }
    void RemoveLeftovers() override { ::RemoveLeftovers(); }
    std::vector<uint32_t> UninstallPrevious(const std::wstring& previousVersionFolder, const std::wstring& stagingFolder,
                                            IPlProgressCallback* progress) override {
        return ::UninstallPrevious(previousVersionFolder, stagingFolder, progress);
    }
    uint32_t OsMajorVersion() override { return ::OsMajorVersion(); }
    uint32_t OsVersionCode() override { return ::OsVersionCode(); }
    bool IsProductFolder(const std::wstring& path) override { return ::IsProductFolder(path); }
    bool HoldsForeignData(const std::wstring& path) override { return ::HoldsForeignData(path); }
    bool DeleteFolderTree(const std::wstring& path) override { return ::DeleteFolderTree(path); }
    int DeployFiles(const std::wstring& stagingFolder, IPlProgressCallback* progress, const std::wstring& versionFolder,
                    const std::wstring& manifestPath, std::wstring* lastFailedFile) override {
        FileDeployer deployer(stagingFolder, progress);
        deployer.SetTargetRoot(versionFolder);
        deployer.SetManifestPath(manifestPath);
        deployer.SetFootprint(&m_footprint);
        const int result = deployer.Install();
        if (lastFailedFile) *lastFailedFile = deployer.LastFailedFile();
        return result;
    }
    int CopyPublicFileToInstallDir(const std::wstring& versionFolder, std::wstring* failedFile) override {
        return ::CopyPublicFileToInstallDir(versionFolder, failedFile, &m_footprint);
    }
    int RemoveFailedInstall() override { return m_footprint.RemoveAll(); }
    bool ResetUpdateState() override { return ::ResetUpdateState(); }
    bool CopySystemProfile(const std::wstring& stagingFolder) override {
        return m_systemFiles.Provide(SystemProfilePath(), [&] { return ::CopySystemProfile(stagingFolder); });
    }

    bool RemoveOldShortcuts() override { return Shortcuts().RemoveOldShortcuts(); }
    bool CreateDesktopShortcut(const std::wstring& launcher) override {
        return Shortcuts().CreateDesktopShortcut(launcher);
    }
    bool CreateQuickLaunchShortcut(const std::wstring& launcher, const std::wstring& pinProgram) override {
        // The pin program runs with the setup's rights from the version folder: only the
        // archive's own, held until the shell has started it. Without it the shortcut is still made.
        const VerifiedCode pinner = VerifiedCode::Check(pinProgram, extract::PayloadDigestOf(app::kPinProgramEntry));
        return Shortcuts().CreateQuickLaunchShortcut(launcher, pinner.IsValid() ? pinProgram : std::wstring());
    }
    bool CreateStartMenuShortcuts(const std::wstring& launcher, const std::wstring& uninstaller) override {
        return Shortcuts().CreateStartMenuShortcuts(launcher, uninstaller);
    }
    void NotifyAssociationsChanged() override { SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_FLUSH, nullptr, nullptr); }

    bool RegisterWebComponent(const std::wstring& dllPath) override {
#if defined(PELORA_CRASH_TRIGGER)
        PauseBeforeWebComponentForTesting();
#endif
        // The product root is the user's to change: the library is loaded only as the archive had
        // it, held from the check until it is mapped, and its own imports come from the system.
        const std::wstring expected = extract::PayloadDigestOf(app::kWebComponentEntry);
        VerifiedCode component = VerifiedCode::Check(dllPath, expected);
        if (!component.IsValid()) return false;
        // A later setup and the uninstaller unregister only this very file.
        RecordWebComponentDigest(expected);
        // The library stays loaded: the component may keep state in it for the rest of the run.
        HMODULE library = LoadLibraryExW(dllPath.c_str(), nullptr, SystemOnlyLoadFlags());
        component.Release();
        if (!library) {
            InstallLog::Format(L"[setup]load %s failed, error %lu\n", dllPath.c_str(), GetLastError());
            return false;
        }
        using RegisterFunction = HRESULT(STDAPICALLTYPE*)();
        auto registerServer = reinterpret_cast<RegisterFunction>(
            reinterpret_cast<void*>(GetProcAddress(library, "DllRegisterServer")));
        if (!registerServer) {
            InstallLog::Format(L"[setup]%s has no DllRegisterServer\n", dllPath.c_str());
            return false;
        }
        const HRESULT result = registerServer();
        if (FAILED(result)) InstallLog::Format(L"[setup]DllRegisterServer of %s failed: 0x%08lX\n", dllPath.c_str(), result);
        return SUCCEEDED(result);
    }
    void InitializeOle() override { m_oleResult = OleInitialize(nullptr); }
    void UninitializeOle() override {
        if (SUCCEEDED(m_oleResult)) OleUninitialize();
    }
    bool LaunchSsoInstaller(const std::wstring& installer, const std::wstring& folder) override {
        // Started with the setup's rights from the staging folder: only the archive's own, held
        // until it runs.
        const VerifiedCode program =
            VerifiedCode::Check(installer, extract::PayloadDigestOf(app::kSingleSignOnInstallerEntry));
        if (!program.IsValid()) return false;
        const std::wstring parameter = L"\"" + folder + L"\"";
        HINSTANCE result = ShellExecuteW(nullptr, L"open", installer.c_str(), parameter.c_str(), folder.c_str(), SW_SHOW);
        return reinterpret_cast<INT_PTR>(result) > 32;
    }
    bool CopyFolderTree(const std::wstring& source, const std::wstring& target, int budget) override {
        return ::CopyFolderTree(source, target, budget);
    }
    void Sleep(uint32_t milliseconds) override { ::Sleep(milliseconds); }

    bool RegisterSharedService(const std::wstring& dllPath) override {
        // The service runs as LocalSystem: it is given the archive's own library, copied where only
        // administrators can write, never the product root's file, which the user's programs can
        // replace.
        const std::wstring folder = ServiceLibraryFolder();
        const std::wstring library =
            folder.empty() ? std::wstring()
                           : ProvideServiceLibrary(folder, dllPath, extract::PayloadDigestOf(app::kServiceDllEntry));
        if (!library.empty()) return ::RegisterSharedService(library);
        InstallLog::Format(deploy::kLogNoServiceWithoutLibrary, deploy::kServiceName);
        // An older setup's service runs the product root's file: it goes rather than stays.
        ::UnregisterSharedService(dllPath);
        return false;
    }
    bool WriteProductKey(const std::wstring& versionFolder, const std::wstring& channel, HKEY hive,
                         const std::wstring& ltValue, bool isMachine) override {
        const bool written = ::WriteProductKey(versionFolder, channel, hive, ltValue, isMachine);
        // The per-user key tells the uninstaller which system files are this product's. It is
        // recorded whenever the key is there, even when one of its values failed: a file left out
        // would stay on the system for good.
        if (hive == HKEY_CURRENT_USER && !isMachine) {
            RecordSystemFiles(hive, m_systemFiles.Created());
            RecordCreatedPlaces(hive);
            // The folders this run made on the way to the product root: the uninstaller removes
            // those, and no folder that was there before.
            RecordMadeFolders(hive, m_footprint.MadeFoldersAbove(versionFolder));
        }
        return written;
    }
    bool MigrateUsersFolder(const std::wstring& previousVersionFolder, const std::wstring& stagingFolder,
                            const std::wstring& versionFolder) override {
        return ::MigrateUsersFolder(previousVersionFolder, stagingFolder, versionFolder);
    }
    bool WriteProtocolInfo(const std::wstring& launcher) override { return ::WriteProtocolInfo(launcher); }
    void RemoveFirewallException(const std::wstring& exePath, const std::wstring& name) override {
        ::RemoveFirewallException(exePath, name);
    }
    void AddFirewallException(const std::wstring& exePath, const std::wstring& name) override {
        ::AddFirewallException(exePath, name);
    }
    void DeleteVersion(const std::wstring& versionFolder) override { ::DeleteVersion(versionFolder); }
    bool LaunchAsUser(const std::wstring& arguments, const std::wstring& exePath) override {
        return ::LaunchAsUser(arguments, exePath);
    }
    bool WriteRunEntry(const std::wstring& commandLine) override { return ::WriteRunEntry(commandLine); }

    int64_t Now() override { return static_cast<int64_t>(time(nullptr)); }

private:
    static std::vector<std::wstring> PayloadCodeEntries() {
        std::vector<std::wstring> entries = {app::kWebComponentEntry, app::kServiceDllEntry, app::kPinProgramEntry,
                                             app::kSingleSignOnInstallerEntry};
        for (const wchar_t* name : deploy::kCrashReporterFiles)
            entries.push_back(std::wstring(app::kCrashReporterBinEntry) + name);
        return entries;
    }

    // Holds the reporter and the libraries it loads from its folder; false when one of them is not
    // the archive's own.
    bool HoldCrashReporter(const std::wstring& reporter) {
        const std::wstring folder = ParentFolder(reporter);
        std::vector<VerifiedCode> held;
        for (const wchar_t* name : deploy::kCrashReporterFiles) {
            VerifiedCode file = VerifiedCode::Check(
                JoinPath(folder, name), extract::PayloadDigestOf(std::wstring(app::kCrashReporterBinEntry) + name));
            if (!file.IsValid()) return false;
            held.push_back(std::move(file));
        }
        m_crashReporterFiles = std::move(held);
        return true;
    }

    // The shell folders are read afresh for each step: a step may run before the profile is complete.
    static ProductShortcuts Shortcuts() {
        return ProductShortcuts(SystemShortcutFolders(), ::OsVersionCode(), SystemShellPinRequests());
    }

    HRESULT m_oleResult = E_FAIL;
    // What this run has written to the install drive, taken back when the install fails.
    InstallFootprint m_footprint;
    // The system files this run created; the steps that note and record them run one after another.
    SystemFileNotes m_systemFiles;
    // The crash reporter's files, held unchanged while the crash monitor may start them.
    std::vector<VerifiedCode> m_crashReporterFiles;
};

}  // namespace

InstallSteps& SystemInstallSteps() {
#if defined(PELORA_CRASH_TRIGGER)
    ArmTestDeletionPause();
    ArmAccessListEchoForTesting();
    ArmLostReportForTesting();
    ArmMissingWorkerForTesting();
#endif
    static SystemSteps steps;
    return steps;
}

InstallManager::InstallManager(HINSTANCE module, IInstallClient* client)
    : InstallManager(module, client, SystemInstallSteps()) {}
