#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "app/command_line.h"
#include "common/progress_callbacks.h"
#include "app/win_msg_thread.h"

class IInstallClient;
class InstallError;
class InstallSteps;

// Steps announced to the client; the window shows a status text for each.
enum InstallStep : int32_t {
    kStepExtracting = 0,
    kStepExtracted = 1,
    kStepInstalling = 2,
    kStepRemovingOldVersion = 3,
    kStepRegistering = 4,
    kStepFinished = 5,
};

// The choices of one installation, one byte each.
struct InstallOptions {
    uint8_t desktopShortcut = 1;
    uint8_t quickLaunchAndPin = 1;
    uint8_t runAtStartup = 1;
    uint8_t launchAfterInstall = 1;
    uint8_t spare = 0;
};

// Applies the launch rule: a "vt" or "mivo" source in the fast mode never launches the client;
// otherwise "auto_start" decides, and without it the client is launched.
InstallOptions MakeInstallOptions(SetupMode mode, int32_t autoStart, const std::wstring& sourceTag);

struct ResourceRef {
    std::wstring type;
    int32_t id = 0;
};

// The install engine. It owns the order of an installation: the extraction phase (thread message
// 1025) and the installation phase (1026) run on its worker thread and report every step and the
// overall progress to the client. Init, StartExtract, StartInstall, Abort, Shutdown and the
// accessors belong to the main thread; the window's protocol keeps the two threads off the same
// fields. Once the worker has been told to stop, the engine reports nothing more: the window that
// would show it is closing.
class InstallManager : public WinMsgThread, public IExtractProgressCallback, public IPlProgressCallback {
public:
    static constexpr UINT kMessageExtract = WM_USER + 1;
    static constexpr UINT kMessageInstall = WM_USER + 2;
    static constexpr uint32_t kRequiredSpace = 0x4D00000;

    // The real routines are used unless a test hands in its own.
    InstallManager(HINSTANCE module, IInstallClient* client);
    InstallManager(HINSTANCE module, IInstallClient* client, InstallSteps& steps);

    // Returns 0, or the start-up code 1 (a newer version is installed, hidden mode only) or 4
    // (the helper library could not be prepared).
    int Init(const ResourceRef& helperResource, const ResourceRef& payloadResource);
    // The same with options already parsed.
    int Init(const ResourceRef& helperResource, const ResourceRef& payloadResource, const CommandLineOptions& options);

    // Starts the worker and hands it the extraction. False, logged, when the worker could not be
    // started or given the message: then nothing runs and nothing will be reported.
    bool StartExtract();
    // Hands the worker the installation. False, logged, when the message could not be posted.
    bool StartInstall();
    // Tells the worker to stop first, so that a running extraction ends within its 10 ms poll and
    // nothing more is reported, then reports the abort and gives telemetry up to a second.
    void Abort();
    // Tells the worker to stop and waits up to `milliseconds` for it to end. True when no worker
    // runs any more. A worker that is still running is logged and cut off from the client: from
    // here on nothing reaches the client, though the worker may still run until the process ends.
    bool Shutdown(DWORD milliseconds);

    virtual void SetProgress(float fraction);
    void SetStep(int32_t step);

    void OnMessage(const MSG& message) override;

    // IExtractProgressCallback
    void OnProgress(uint32_t bytesDone, uint32_t bytesTotal) override;
    bool IsCancelled() override;
    // IPlProgressCallback
    void OnProgress(float fraction) override;

    SetupMode Mode() const { return m_mode; }
    uint32_t RequiredSpace() const { return m_dwRequiredSpace; }
    std::wstring PreviousVersionFolder() const { return m_strPreviousVersionFolder; }
    std::wstring DefaultProductRoot() const { return m_strDefaultProductRoot; }
    std::wstring VersionFolder() const { return m_strVersionFolder; }
    std::wstring VersionString() const { return m_strVersion; }
    std::wstring StagingFolder() const { return m_strStagingFolder; }
    std::wstring StartArguments() const { return m_options.StartArguments(); }
    std::wstring InstallSource() const;
    std::wstring FirstChannel() const { return m_strFirstChannel; }
    InstallOptions Options() const { return m_installOptions; }
    int32_t State() const { return m_nState; }

    // Checks `chosen` as this run's version folder and makes the folder the verdict names (the
    // chosen one, or {setup folder}\1.14.301 when a limited user cannot create it) the version
    // folder. Returns the verdict: 0 accepted, 1 invalid, 2 too little space, 3 not writable;
    // `replacement` names the fallback root when one was taken. Main thread, before StartInstall.
    int SetInstallFolder(const std::wstring& chosen, std::wstring& replacement);

    // The location page chooses the version folder and the quick-launch flag before StartInstall.
    void SetVersionFolder(const std::wstring& folder) { m_strVersionFolder = folder; }
    void SetQuickLaunch(bool enabled) { m_installOptions.quickLaunchAndPin = enabled ? 1 : 0; }

private:
    // Hands `error` to the client, or frees it when nothing may be reported any more.
    void ReportError(std::unique_ptr<InstallError> error);
    // With m_clientLock held: whether a report may go to the client.
    bool MayReport() const { return m_pClient && !StopRequested(); }
    void RunExtraction();
    void RunInstallation();
    // Ends a deployment that could not write `failedFile`: logs it, takes back what the run wrote
    // and reports the error.
    void FailDeployment(const std::wstring& failedFile);
    void CreateShortcuts(const std::wstring& productRoot);
    void RunRegistration(const std::wstring& productRoot);
    void RegisterWebComponent(const std::wstring& productRoot);
    void InstallSingleSignOn();
    void LaunchClient(const std::wstring& launcher);

    // Reports are handed to the client with m_clientLock held, so that once Shutdown has cleared
    // the pointer no report is still on its way.
    std::mutex m_clientLock;
    IInstallClient* m_pClient;
    InstallOptions m_installOptions;
    bool m_bDiskLow = false;
    uint32_t m_dwRequiredSpace = kRequiredSpace;
    std::wstring m_strPreviousVersionFolder;
    std::wstring m_strDefaultProductRoot;
    std::wstring m_strVersionFolder;
    std::wstring m_strVersion;
    std::wstring m_strStagingFolder;
    int64_t m_nStartTime = 0;
    SetupMode m_mode = SetupMode::Normal;
    HINSTANCE m_hModule;
    ResourceRef m_payloadResource;
    CommandLineOptions m_options;
    std::wstring m_strFirstChannel;
    // 0 created, 1 extraction requested, 2 extraction succeeded, 3 extraction failed.
    int32_t m_nState = 0;
    InstallSteps& m_steps;
};
