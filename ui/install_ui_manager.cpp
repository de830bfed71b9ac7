#include "ui/install_ui_manager.h"

#include <commctrl.h>

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
}

bool InstallUIManager::PostToDialog(UINT message, WPARAM wParam) {
    std::lock_guard<std::mutex> lock(m_dialogLock);
    HWND window = m_pDialog ? m_pDialog->Window() : nullptr;
    return window && PostMessageW(window, message, wParam, 0);
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
    if (!PostToDialog(WM_SETUP_ERROR, reinterpret_cast<WPARAM>(error))) delete error;
}

void InstallUIManager::OnProgress(float fraction) {
    auto boxed = std::make_unique<float>(fraction);
    if (PostToDialog(WM_SETUP_PROGRESS, reinterpret_cast<WPARAM>(boxed.get()))) boxed.release();
}

void InstallUIManager::OnStep(int step) {
    PostToDialog(WM_SETUP_STEP, static_cast<WPARAM>(step));
}
