#pragma once

#include <windows.h>

#include <mutex>
#include <string>

#include "app/command_line.h"
#include "app/install_client.h"
#include "diag/win_handle.h"

class InstallManager;
class InstallUIManager;

// Why a run could not start; the process then exits with -1.
enum StartupCode : int {
    kStartupOk = 0,
    kStartupNewerVersionInstalled = 1,
    kStartupWindowsTooOld = 2,
    kStartupHelperFailed = 4,
    kStartupAlreadyRunning = 5,
};

// Owns one setup run: holds the single-instance mutex and the install log, creates the install
// engine and the UI manager, and hands the engine's reports on to the UI manager unchanged.
class InstallController : public IInstallClient {
public:
    InstallController() = default;
    InstallController(const InstallController&) = delete;
    InstallController& operator=(const InstallController&) = delete;

    // The start-up checks and the mode decision; shows the failure's message box unless hidden.
    bool Init(HINSTANCE module);
    // Shows the setup and returns the exit code: 0 when the installation finished, else 1. The UI
    // manager is destroyed at the end, which saves the user's options.
    int Run();
    // Closes the install log and the mutex handle.
    void Uninit();

    // The ordered start-up checks: mutex, Windows version, install log, engine, UI manager.
    StartupCode PrepareRun();

    HINSTANCE ModuleInstance() const { return m_hModule; }
    InstallManager* Engine() const { return m_pEngine; }
    InstallUIManager* UIManager() const { return m_pUIManager; }

    void OnError(InstallError* error) override;
    void OnProgress(float fraction) override;
    void OnStep(int step) override;

private:
    // Destroys the UI manager; the engine's later reports are dropped.
    void ReleaseUIManager();

    HINSTANCE m_hModule = nullptr;
    // Held, never released, until Uninit closes it: the mutex marks the running setup.
    diag::ScopedHandle m_hMutex;
    std::wstring m_strLogPath;
    // Created by Init and kept until the process ends: the engine's worker thread may still be
    // running when Run returns.
    InstallManager* m_pEngine = nullptr;
    // Created by Init and destroyed at the end of Run. The engine's worker forwards its reports
    // through it, so the pointer is read and cleared under m_uiManagerLock.
    std::mutex m_uiManagerLock;
    InstallUIManager* m_pUIManager = nullptr;
    CommandLineOptions m_options;
};

// The message box text of a start-up code, or null when the code has none.
const wchar_t* StartupMessage(StartupCode code);
