#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <mutex>

#include "app/install_client.h"

class InstallController;

namespace ui {
class InstallDialog;
}

// The saved choices of the setup window, as kept in the user's registry.
struct PageOptions {
    int32_t nShortcutDesktop = 1;
    int32_t nShortcutQuickLaunch = 1;
    int32_t nRunExe = 1;
    int32_t nShowNewFeature = 1;
    int32_t nStartRunExe = 1;
};

// Owns the setup window for the controller: runs it modally, or hidden with a message loop of its
// own, and turns the engine's reports (which arrive on the engine's worker thread) into messages
// posted to the window.
class InstallUIManager : public IInstallClient {
public:
    InstallUIManager();
    ~InstallUIManager() override;
    InstallUIManager(const InstallUIManager&) = delete;
    InstallUIManager& operator=(const InstallUIManager&) = delete;

    void Init(InstallController* controller, bool flag);
    // Shows the setup window until it ends; returns its result code (0 after a finished install).
    int Run();

    // Any thread: post the report to the window and return at once. Dropped without a window.
    void OnError(InstallError* error) override;
    void OnProgress(float fraction) override;
    void OnStep(int step) override;

    static InstallUIManager* Instance();
    const PageOptions& Options() const { return m_options; }

private:
    // Posts under the dialog lock, so that Run cannot destroy the dialog in between; false when
    // there is no window or the post failed (the caller then frees the payload).
    bool PostToDialog(UINT message, WPARAM wParam);
    void SetDialog(ui::InstallDialog* dialog);
    // Frees the payloads of reports still queued for `window` after its loop ended.
    static void DropQueuedReports(HWND window);

    HINSTANCE m_hModule = nullptr;
    ULONG_PTR m_graphicsToken = 0;
    PageOptions m_options;
    InstallController* m_pController = nullptr;
    // Set by Run on the main thread before the engine starts, cleared after the loop ended, and
    // read by the engine's worker thread: every access holds m_dialogLock.
    std::mutex m_dialogLock;
    ui::InstallDialog* m_pDialog = nullptr;
};
