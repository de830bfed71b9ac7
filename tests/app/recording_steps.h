#pragma once

// A stand-in for the engine's routines that records every call in order, with its arguments,
// and answers with results a test chooses.

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "app/install_steps.h"
#include "common/progress_callbacks.h"

class RecordingSteps : public InstallSteps {
public:
    std::vector<std::wstring> calls;
    // Names of routines that report failure.
    std::set<std::wstring> failing;
    // How many launches of the single-sign-on installer fail before one succeeds.
    int ssoFailures = 0;
    bool extractSucceeds = true;
    bool diskLowOnFailure = false;
    bool newerVersionInstalled = false;
    std::wstring installFolder;      // ReadInstallFolder
    std::wstring firstChannel;       // ReadFirstChannel
    std::wstring registeredChannel;  // ReadRegisteredChannel
    std::wstring failedFile = L"C:\\App\\1.14.301\\Bin\\locked.dll";
    std::wstring publicFailedFile = L"C:\\App\\PL.exe";
    std::set<std::wstring> folders;  // what IsFolder answers true for
    // SetInstallFolder's answer: the verdict, and the fallback root it names (empty: none; the
    // version folder then is the chosen one, else the root joined with the version).
    int folderVerdict = 0;
    std::wstring folderReplacement;
    std::set<std::wstring> othersFolders;   // IsProductFolder answers false for these
    std::set<std::wstring> foreignFolders;  // HoldsForeignData answers true for these
    std::vector<uint32_t> uninstallFailures;  // what UninstallPrevious answers
    int64_t now = 1000;
    uint32_t osMajor = 6;
    uint32_t osCode = 0x601;
    // Runs inside ExtractPayload (on whatever thread runs the phase).
    std::function<void(IExtractProgressCallback*)> duringExtract;
    std::function<void(IPlProgressCallback*)> duringDeploy;

    bool Has(const std::wstring& call) const;
    // Position of the first call that starts with `prefix`, or -1.
    int IndexOf(const std::wstring& prefix) const;

    bool IsNewerVersionInstalled() override;
    bool ExtractHelperDll(HINSTANCE module, const wchar_t* type, int id) override;
    bool ReportInit(const std::wstring& firstChannel, const std::wstring& registeredChannel,
                    const std::wstring& installSource, const std::wstring& userId) override;
    std::wstring ReadFirstChannel() override;
    std::wstring ReadRegisteredChannel() override;
    std::wstring ReadInstallFolder() override;
    std::wstring CreateStagingFolder() override;
    std::wstring DefaultProductRoot() override;
    bool IsValidInstallPath(const std::wstring& path) override;
    int SetInstallFolder(const std::wstring& chosen, uint32_t requiredBytes, std::wstring& versionFolder,
                         std::wstring& replacement) override;
    bool ExtractPayload(const wchar_t* type, int id, HINSTANCE module, const std::wstring& stagingFolder,
                        bool* diskLow, IExtractProgressCallback* callback) override;
    std::wstring UpdateTempFolder() override;
    bool CopyOneFile(const std::wstring& source, const std::wstring& target) override;
    void StartCrashMonitor(const std::wstring& crashReporter, const std::wstring& previousVersionFolder) override;
    void ReportInstallerStart() override;
    void ReportInstallerDone(uint32_t elapsedSeconds) override;
    void ReportInstallerAbort() override;
    void ReportInstallerError(uint32_t code) override;
    void ReportShutdown(uint32_t milliseconds) override;
    bool IsFolder(const std::wstring& path) override;
    void RemoveLeftovers() override;
    std::vector<uint32_t> UninstallPrevious(const std::wstring& previousVersionFolder,
                                            const std::wstring& stagingFolder, IPlProgressCallback* progress) override;
    uint32_t OsMajorVersion() override;
    uint32_t OsVersionCode() override;
    bool IsProductFolder(const std::wstring& path) override;
    bool HoldsForeignData(const std::wstring& path) override;
    bool DeleteFolderTree(const std::wstring& path) override;
    int DeployFiles(const std::wstring& stagingFolder, IPlProgressCallback* progress, const std::wstring& versionFolder,
                    const std::wstring& manifestPath, std::wstring* lastFailedFile) override;
    int CopyPublicFileToInstallDir(const std::wstring& versionFolder, std::wstring* failedFile) override;
    int RemoveFailedInstall() override;
    bool ResetUpdateState() override;
    bool CopySystemProfile(const std::wstring& stagingFolder) override;
    bool RemoveOldShortcuts() override;
    bool CreateDesktopShortcut(const std::wstring& launcher) override;
    bool CreateQuickLaunchShortcut(const std::wstring& launcher, const std::wstring& pinProgram) override;
    bool CreateStartMenuShortcuts(const std::wstring& launcher, const std::wstring& uninstaller) override;
    void NotifyAssociationsChanged() override;
    bool RegisterWebComponent(const std::wstring& dllPath) override;
    void InitializeOle() override;
    void UninitializeOle() override;
    bool LaunchSsoInstaller(const std::wstring& installer, const std::wstring& folder) override;
    bool CopyFolderTree(const std::wstring& source, const std::wstring& target, int budget) override;
    void Sleep(uint32_t milliseconds) override;
    bool RegisterSharedService(const std::wstring& dllPath) override;
    bool WriteProductKey(const std::wstring& versionFolder, const std::wstring& channel, HKEY hive,
                         const std::wstring& ltValue, bool isMachine) override;
    bool MigrateUsersFolder(const std::wstring& previousVersionFolder, const std::wstring& stagingFolder,
                            const std::wstring& versionFolder) override;
    bool WriteProtocolInfo(const std::wstring& launcher) override;
    void RemoveFirewallException(const std::wstring& exePath, const std::wstring& name) override;
    void AddFirewallException(const std::wstring& exePath, const std::wstring& name) override;
    void DeleteVersion(const std::wstring& versionFolder) override;
    bool LaunchAsUser(const std::wstring& arguments, const std::wstring& exePath) override;
    bool WriteRunEntry(const std::wstring& commandLine) override;
    int64_t Now() override;

private:
    bool Record(const std::wstring& call, const std::wstring& name);
};
