#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "app/install_client.h"
#include "app/install_errors.h"
#include "ui/page_options.h"
#include "ui/toolkit/image_cache.h"

class InstallController;

namespace ui {
class InstallDialog;
}

// Owns the setup window for the controller: starts the graphics, keeps the options and the art,
// runs the window modally or hidden with a message loop of its own, and turns the engine's
// reports (which arrive on the engine's worker thread) into messages posted to the window. A step
// or an error whose post fails is kept until the window collects it, so that no report that ends
// the window is ever lost. One per process; the pages reach the art through Instance(). Destroying
// it saves the options (after a finished install) and stops the graphics.
class InstallUIManager : public IInstallClient {
public:
    InstallUIManager();
    ~InstallUIManager() override;
    InstallUIManager(const InstallUIManager&) = delete;
    InstallUIManager& operator=(const InstallUIManager&) = delete;

    // Starts the graphics and the common controls, loads the options and points the art at the
    // controller's module.
    void Init(InstallController* controller);
    // Shows the setup window until it ends; returns its result code (0 after a finished install).
    int Run();

    // Any thread: post the report to the window and return at once. Dropped without a window. A
    // step or an error that cannot be posted (the window's queue is full, say) is kept for
    // TakeKeptReports; so is every later one until then, so that the order holds.
    void OnError(InstallError* error) override;
    void OnProgress(float fraction) override;
    void OnStep(int step) override;

    // A step, or an error when `error` is set, that could not be posted to the window.
    struct KeptReport {
        int step = 0;
        std::unique_ptr<InstallError> error;
    };
    // The window's thread, on the window's timer: the kept reports, oldest first.
    std::vector<KeptReport> TakeKeptReports();

    // Posts a report to the window (PostMessageW); tests hand in one that fails. nullptr restores
    // the real call. Set it before the window exists.
    using PostFunction = BOOL(WINAPI*)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static void SetPostForTesting(PostFunction post);

    static InstallUIManager* Instance();
    ui::ImageCache& Images() { return m_images; }
    const PageOptions& Options() const { return m_options; }
    // The quick-launch box's choice: the location page starts its box with it and hands back what
    // the box shows. Saved in the setup's own value, so that the next window starts from it; the
    // client's "nShortcutQuickLaunch" is not touched.
    bool QuickLaunchChoice() const { return m_options.nSetupQuickLaunch != 0; }
    void SetQuickLaunchChoice(bool checked) { m_options.nSetupQuickLaunch = checked ? 1 : 0; }
    void LoadOptions();
    bool SaveOptions() const;

private:
    // Posts under the dialog lock, so that Run cannot destroy the dialog in between; false when
    // there is no window or the post failed (the caller then frees the payload).
    bool PostToDialog(UINT message, WPARAM wParam);
    // Posts a step or an error under the dialog lock, or keeps it (see OnStep).
    void Deliver(KeptReport report);
    void SetDialog(ui::InstallDialog* dialog);
    // Frees the payloads of reports still queued for `window` after its loop ended.
    static void DropQueuedReports(HWND window);

    HINSTANCE m_hModule = nullptr;
    bool m_bGraphicsStarted = false;
    // Set by Run when the window ended with a finished install.
    bool m_bInstallFinished = false;
    ui::ImageCache m_images;
    PageOptions m_options;
    InstallController* m_pController = nullptr;
    // Set by Run on the main thread before the engine starts, cleared after the loop ended, and
    // read by the engine's worker thread: every access holds m_dialogLock, as does every access to
    // the reports kept for the window.
    std::mutex m_dialogLock;
    ui::InstallDialog* m_pDialog = nullptr;
    std::deque<KeptReport> m_keptReports;
};
