#include "ui/install_ui_manager.h"

#include <commctrl.h>

#include <iterator>

#include "app/install_controller.h"
#include "app/install_errors.h"
#include "app/install_manager.h"
#include "diag/install_log.h"
#include "ui/pages/install_dialog.h"
#include "ui/setup_messages.h"
#include "ui/setup_texts.h"
#include "ui/toolkit/graphics.h"
#include "ui/toolkit/window_map.h"

namespace {

constexpr int kSetupDialogTemplate = 1007;
InstallUIManager* g_instance = nullptr;
InstallUIManager::PostFunction g_post = &PostMessageW;

}  // namespace

InstallUIManager::InstallUIManager() {
    g_instance = this;
}

InstallUIManager::~InstallUIManager() {
    // Only an installed client reads the options: a refused or abandoned run leaves no options
    // file behind, in a folder that may not even be the user's own.
    if (m_bInstallFinished) SaveOptions();
    // The images are GDI+ objects: they go while the graphics still run.
    m_images.Clear();
    if (m_bGraphicsStarted) ui::StopGraphics();
    if (g_instance == this) g_instance = nullptr;
}

void InstallUIManager::SetPostForTesting(PostFunction post) {
    g_post = post ? post : &PostMessageW;
}

InstallUIManager* InstallUIManager::Instance() {
    return g_instance;
}

void InstallUIManager::Init(InstallController* controller) {
    m_pController = controller;
    m_hModule = controller->ModuleInstance();
    // Without the graphics the window shows nothing drawn, but the install still works.
    m_bGraphicsStarted = ui::StartGraphics(m_hModule);
    INITCOMMONCONTROLSEX controls = {sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    // The options decide nothing for the engine: only a quick-launch box that is shown does.
    LoadOptions();
    m_images.SetModule(m_hModule);
}

void InstallUIManager::LoadOptions() {
    m_options = LoadPageOptions();
}

bool InstallUIManager::SaveOptions() const {
    return SavePageOptions(m_options);
}

int InstallUIManager::Run() {
    InstallManager* engine = m_pController->Engine();
    const bool hidden = engine->Mode() == SetupMode::NoUi;
    auto dialog = std::make_unique<ui::InstallDialog>(m_pController);
    SetDialog(dialog.get());
    const bool shown = dialog->Show(nullptr, kSetupDialogTemplate, m_hModule);
    if (!shown) {
        // A hidden window that could not be made would leave the loop below waiting forever. (A
        // window that ended during its own initialisation, a refused folder, has a handle.)
        if (!dialog->Window()) InstallLog::Format(ui::kLogNoSetupWindow, GetLastError());
    } else if (hidden) {
        dialog->ShowNative(SW_HIDE);
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            HWND window = dialog->Window();
            if (window && IsWindow(window) && IsDialogMessageW(window, &message)) continue;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    } else {
        dialog->RunModal();
    }
    const int result = dialog->ResultCode();
    m_bInstallFinished = result == 0;
    SetDialog(nullptr);
    HWND window = dialog->Window();
    if (window) {
        DropQueuedReports(window);
        ui::WindowMap::Remove(window);
    }
    return result;
}

void InstallUIManager::SetDialog(ui::InstallDialog* dialog) {
    std::lock_guard<std::mutex> lock(m_dialogLock);
    m_pDialog = dialog;
    // Reports kept for a window that has ended are dropped with it.
    if (!dialog) m_keptReports.clear();
}

bool InstallUIManager::PostToDialog(UINT message, WPARAM wParam) {
    std::lock_guard<std::mutex> lock(m_dialogLock);
    HWND window = m_pDialog ? m_pDialog->Window() : nullptr;
    return window && g_post(window, message, wParam, 0);
}

void InstallUIManager::Deliver(KeptReport report) {
    std::lock_guard<std::mutex> lock(m_dialogLock);
    HWND window = m_pDialog ? m_pDialog->Window() : nullptr;
    // A window that has already ended (a refused hidden run) waits for nothing.
    if (!window || !IsWindow(window)) return;
    if (m_keptReports.empty()) {
        const UINT message = report.error ? WM_SETUP_ERROR : WM_SETUP_STEP;
        const WPARAM wParam =
            report.error ? reinterpret_cast<WPARAM>(report.error.get()) : static_cast<WPARAM>(report.step);
        if (g_post(window, message, wParam, 0)) {
            static_cast<void>(report.error.release());  // the window owns it now
            return;
        }
        InstallLog::Format(ui::kLogReportKept, message, GetLastError());
    }
    m_keptReports.push_back(std::move(report));
}

std::vector<InstallUIManager::KeptReport> InstallUIManager::TakeKeptReports() {
    std::lock_guard<std::mutex> lock(m_dialogLock);
    std::vector<KeptReport> taken(std::make_move_iterator(m_keptReports.begin()),
                                  std::make_move_iterator(m_keptReports.end()));
    m_keptReports.clear();
    return taken;
}

void InstallUIManager::DropQueuedReports(HWND window) {
    // The window is gone, so the queue is searched as a whole: a filter on a destroyed window's
    // handle finds nothing.
    MSG message;
    while (PeekMessageW(&message, nullptr, WM_SETUP_PROGRESS, WM_SETUP_ERROR, PM_REMOVE)) {
        if (message.hwnd != window) continue;
        if (message.message == WM_SETUP_PROGRESS) delete reinterpret_cast<float*>(message.wParam);
        else if (message.message == WM_SETUP_ERROR) delete reinterpret_cast<InstallError*>(message.wParam);
    }
}

void InstallUIManager::OnError(InstallError* error) {
    KeptReport report;
    report.error.reset(error);
    Deliver(std::move(report));
}

void InstallUIManager::OnProgress(float fraction) {
    auto boxed = std::make_unique<float>(fraction);
    if (PostToDialog(WM_SETUP_PROGRESS, reinterpret_cast<WPARAM>(boxed.get()))) boxed.release();
}

void InstallUIManager::OnStep(int step) {
    KeptReport report;
    report.step = step;
    Deliver(std::move(report));
}
