#pragma once

#include <windows.h>

#include <memory>
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
// engine and the UI manager, and hands the engine's reports on to the UI manager unchanged. It owns
// the engine's lifetime too: whichever way the window ends, the engine's worker is stopped and
// waited for before the UI manager, the controller or the process's static objects go.
class InstallController : public IInstallClient {
public:
    InstallController();
    // Destroys the engine, unless its worker would not stop: that engine is left to the process.
    ~InstallController() override;
    InstallController(const InstallController&) = delete;
    InstallController& operator=(const InstallController&) = delete;

    // The start-up checks and the mode decision; shows the failure's message box unless hidden.
    bool Init(HINSTANCE module);
    // Shows the setup and returns the exit code: 0 when the installation finished, else 1. Then
    // stops the engine's worker (see EngineStopped) and destroys the UI manager, which saves the
    // user's options. After Run nothing calls the controller any more.
    int Run();
    // Closes the install log and the mutex handle.
    void Uninit();

    // The ordered start-up checks: mutex, Windows version, install log, engine, UI manager.
    StartupCode PrepareRun();

    HINSTANCE ModuleInstance() const { return m_hModule; }
    InstallManager* Engine() const { return m_pEngine.get(); }
    // False when the engine's worker did not end within its bound after the window ended: it is
    // cut off from the controller but may still be running, so the process must end without
    // destroying its static objects.
    bool EngineStopped() const { return m_bEngineStopped; }
    InstallUIManager* UIManager() const { return m_pUIManager; }

    void OnError(InstallError* error) override;
    void OnProgress(float fraction) override;
    void OnStep(int step) override;

private:
    // Tells the engine's worker to stop and waits for it, a bounded time.
    void StopEngine();
    // Destroys the UI manager; the engine's later reports are dropped.
    void ReleaseUIManager();

    HINSTANCE m_hModule = nullptr;
    // Held, never released, until Uninit closes it: the mutex marks the running setup.
    diag::ScopedHandle m_hMutex;
    std::wstring m_strLogPath;
    // Created by Init. Its worker is stopped at the end of Run; the engine goes with the controller.
    std::unique_ptr<InstallManager> m_pEngine;
    bool m_bEngineStopped = true;
    // Created by Init and destroyed at the end of Run. The engine's worker forwards its reports
    // through it, so the pointer is read and cleared under m_uiManagerLock.
    std::mutex m_uiManagerLock;
    InstallUIManager* m_pUIManager = nullptr;
    CommandLineOptions m_options;
};

// The message box text of a start-up code, or null when the code has none.
const wchar_t* StartupMessage(StartupCode code);
