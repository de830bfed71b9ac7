#include "ui/install_ui_manager.h"

#include <commctrl.h>
#include <objidl.h>  // GDI+ needs the COM types that the lean Windows headers leave out
#include <gdiplus.h>

#include "app/install_controller.h"
#include "app/install_errors.h"
#include "app/install_manager.h"
#include "ui/install_dialog.h"
#include "ui/setup_messages.h"

namespace {

constexpr int kSetupDialogTemplate = 1007;
InstallUIManager* g_instance = nullptr;

}  // namespace

InstallUIManager::InstallUIManager() {
    g_instance = this;
}

InstallUIManager::~InstallUIManager() {
    if (m_graphicsToken) Gdiplus::GdiplusShutdown(m_graphicsToken);
    if (g_instance == this) g_instance = nullptr;
}

InstallUIManager* InstallUIManager::Instance() {
    return g_instance;
}

void InstallUIManager::Init(InstallController* controller, bool) {
    m_pController = controller;
    m_hModule = controller->ModuleInstance();
    Gdiplus::GdiplusStartupInput input;
    if (Gdiplus::GdiplusStartup(&m_graphicsToken, &input, nullptr) != Gdiplus::Ok) m_graphicsToken = 0;
    INITCOMMONCONTROLSEX controls = {sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
}

int InstallUIManager::Run() {
    InstallManager* engine = m_pController->Engine();
    const bool hidden = engine->Mode() == SetupMode::NoUi;
    auto dialog = std::make_unique<ui::InstallDialog>(m_pController, !hidden);
    m_pDialog = dialog.get();
    dialog->Show(nullptr, kSetupDialogTemplate, m_hModule);
    if (hidden) {
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
    m_pDialog = nullptr;
    if (dialog->Window()) ui::WindowMap::Remove(dialog->Window());
    return result;
}

HWND InstallUIManager::DialogWindow() const {
    ui::InstallDialog* dialog = m_pDialog;
    return dialog ? dialog->Window() : nullptr;
}

void InstallUIManager::OnError(InstallError* error) {
    HWND window = DialogWindow();
    if (!window || !PostMessageW(window, WM_SETUP_ERROR, reinterpret_cast<WPARAM>(error), 0)) delete error;
}

void InstallUIManager::OnProgress(float fraction) {
    HWND window = DialogWindow();
    if (!window) return;
    float* boxed = new float(fraction);
    if (!PostMessageW(window, WM_SETUP_PROGRESS, reinterpret_cast<WPARAM>(boxed), 0)) delete boxed;
}

void InstallUIManager::OnStep(int step) {
    HWND window = DialogWindow();
    if (window) PostMessageW(window, WM_SETUP_STEP, static_cast<WPARAM>(step), 0);
}
