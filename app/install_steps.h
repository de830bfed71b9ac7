#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

class IExtractProgressCallback;
class IPlProgressCallback;

// Every routine of the other subsystems that the install engine calls, behind one interface, so
// that the engine's order, arguments and error handling can be tested with a recording fake.
// SystemInstallSteps is the real one. The methods follow the routines they stand for; see those
// for their meaning.
class InstallSteps {
public:
    virtual ~InstallSteps() = default;

    // Initialisation.
    virtual bool IsNewerVersionInstalled() = 0;
    virtual bool ExtractHelperDll(HINSTANCE module, const wchar_t* type, int id) = 0;
    virtual bool ReportInit(const std::wstring& firstChannel, const std::wstring& registeredChannel,
                            const std::wstring& installSource, const std::wstring& userId) = 0;
    virtual std::wstring ReadFirstChannel() = 0;
    virtual std::wstring ReadRegisteredChannel() = 0;
    virtual std::wstring ReadInstallFolder() = 0;
    virtual std::wstring CreateStagingFolder() = 0;
    virtual std::wstring DefaultProductRoot() = 0;
    virtual bool IsValidInstallPath(const std::wstring& path) = 0;

    // The verdict on a chosen version folder (0 accepted, 1 invalid, 2 too little space, 3 not
    // writable); `versionFolder` receives the folder to use, `replacement` the fallback root.
    virtual int SetInstallFolder(const std::wstring& chosen, uint32_t requiredBytes, std::wstring& versionFolder,
                                 std::wstring& replacement) = 0;

    // Extraction phase.
    virtual bool ExtractPayload(const wchar_t* type, int id, HINSTANCE module, const std::wstring& stagingFolder,
                                bool* diskLow, IExtractProgressCallback* callback) = 0;
    virtual std::wstring UpdateTempFolder() = 0;
    virtual bool CopyOneFile(const std::wstring& source, const std::wstring& target) = 0;
    virtual void StartCrashMonitor(const std::wstring& crashReporter, const std::wstring& previousVersionFolder) = 0;

    // Telemetry.
    virtual void ReportInstallerStart() = 0;
    virtual void ReportInstallerDone(uint32_t elapsedSeconds) = 0;
    virtual void ReportInstallerAbort() = 0;
    virtual void ReportInstallerError(uint32_t code) = 0;
    virtual void ReportShutdown(uint32_t milliseconds) = 0;

    // Installation phase.
    virtual bool IsFolder(const std::wstring& path) = 0;
    // Deletes the side files an earlier uninstaller could not hand to the next start.
    virtual void RemoveLeftovers() = 0;
    // Takes the previous install apart; the error events of the steps that failed, in step order.
    virtual std::vector<uint32_t> UninstallPrevious(const std::wstring& previousVersionFolder,
                                                    const std::wstring& stagingFolder,
                                                    IPlProgressCallback* progress) = 0;
    virtual uint32_t OsMajorVersion() = 0;
    virtual uint32_t OsVersionCode() = 0;
    // The product's own folders (deploy/product_folder.h): only those are cleared.
    virtual bool IsProductFolder(const std::wstring& path) = 0;
    virtual bool HoldsForeignData(const std::wstring& path) = 0;
    virtual bool DeleteFolderTree(const std::wstring& path) = 0;
    // Deploys the staged tree into `versionFolder` with the manifest; 0 on failure, with the path of
    // the file that failed in `lastFailedFile`.
    virtual int DeployFiles(const std::wstring& stagingFolder, IPlProgressCallback* progress,
                            const std::wstring& versionFolder, const std::wstring& manifestPath,
                            std::wstring* lastFailedFile) = 0;
    virtual int CopyPublicFileToInstallDir(const std::wstring& versionFolder, std::wstring* failedFile) = 0;
    // Takes back what DeployFiles and CopyPublicFileToInstallDir have written in this run: the
    // files, then the folders they made when nothing else is in them. The number of entries left.
    virtual int RemoveFailedInstall() = 0;
    virtual bool ResetUpdateState() = 0;
    virtual bool CopySystemProfile(const std::wstring& stagingFolder) = 0;

    virtual bool RemoveOldShortcuts() = 0;
    virtual bool CreateDesktopShortcut(const std::wstring& launcher) = 0;
    virtual bool CreateQuickLaunchShortcut(const std::wstring& launcher, const std::wstring& pinProgram) = 0;
    virtual bool CreateStartMenuShortcuts(const std::wstring& launcher, const std::wstring& uninstaller) = 0;
    virtual void NotifyAssociationsChanged() = 0;

    // Loads the web component and calls its DllRegisterServer once; true for an HRESULT >= 0.
    virtual bool RegisterWebComponent(const std::wstring& dllPath) = 0;
    virtual void InitializeOle() = 0;
    virtual void UninitializeOle() = 0;
    // Starts the single-sign-on installer once; true when the shell reported success (> 32).
    virtual bool LaunchSsoInstaller(const std::wstring& installer, const std::wstring& folder) = 0;
    virtual bool CopyFolderTree(const std::wstring& source, const std::wstring& target, int budget) = 0;
    virtual void Sleep(uint32_t milliseconds) = 0;

    virtual bool RegisterSharedService(const std::wstring& dllPath) = 0;
    virtual bool WriteProductKey(const std::wstring& versionFolder, const std::wstring& channel, HKEY hive,
                                 const std::wstring& ltValue, bool isMachine) = 0;
    virtual bool MigrateUsersFolder(const std::wstring& previousVersionFolder, const std::wstring& stagingFolder,
                                    const std::wstring& versionFolder) = 0;
    virtual bool WriteProtocolInfo(const std::wstring& launcher) = 0;
    virtual void RemoveFirewallException(const std::wstring& exePath, const std::wstring& name) = 0;
    virtual void AddFirewallException(const std::wstring& exePath, const std::wstring& name) = 0;
    virtual void DeleteVersion(const std::wstring& versionFolder) = 0;
    virtual bool LaunchAsUser(const std::wstring& arguments, const std::wstring& exePath) = 0;
    virtual bool WriteRunEntry(const std::wstring& commandLine) = 0;

    // Seconds since 1970.
    virtual int64_t Now() = 0;
};

// The real routines.
InstallSteps& SystemInstallSteps();
