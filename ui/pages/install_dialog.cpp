#include "ui/pages/install_dialog.h"

#include "app/install_controller.h"
#include "app/install_errors.h"
#include "app/install_manager.h"
#include "ui/install_ui_manager.h"
#include "ui/pages/abort_install_view.h"
#include "ui/pages/custom_install_view.h"
#include "ui/pages/folder_choice.h"
#include "ui/pages/page_art.h"
#include "ui/pages/page_texts.h"
#include "ui/setup_messages.h"
#include "ui/toolkit/check_button.h"
#include "ui/toolkit/custom_install_button.h"
#include "ui/toolkit/gdiplus_include.h"
#include "ui/toolkit/progress_bar.h"

namespace ui {

namespace {

constexpr int kWindowWidth = 590;
constexpr int kWindowHeight = 440;
constexpr UINT_PTR kCreepTimer = 1234;
constexpr UINT kCreepPeriodMs = 100;
constexpr int kLogoTop = 100;
constexpr int kLocationPageHeight = 142;
constexpr int kAbortCardWidth = 320;
constexpr int kAbortCardHeight = 210;
constexpr COLORREF kEditTextColor = RGB(0x33, 0x33, 0x33);

bool IsHiddenMode(InstallController* controller) {
    return controller->Engine()->Mode() == SetupMode::NoUi;
}

}  // namespace

InstallDialog::InstallDialog(InstallController* controller)
    : DialogWrapper(!IsHiddenMode(controller)), m_pController(controller), m_strStatusText(kStatusDetecting) {
    SetName(kDialogName);
}

bool InstallDialog::HiddenMode() const {
    return IsHiddenMode(m_pController);
}

void InstallDialog::OnInitDialog() {
    SetWindowPos(Window(), nullptr, 0, 0, kWindowWidth, kWindowHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOREDRAW);
    if (HICON icon = LoadIconW(m_pController->ModuleInstance(), MAKEINTRESOURCEW(kWindowIconId))) {
        SendMessageW(Window(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
        SendMessageW(Window(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    }
    BuildWelcomePage();
    m_strInstallFolder = FolderTextOf(m_pController->Engine()->VersionFolder());
    SetTimer(Window(), kCreepTimer, kCreepPeriodMs, nullptr);
    if (!m_pController->Engine()->StartExtract()) {
        // Without its worker the run can neither extract nor install, and no report would come.
        EndWithError(InstallError(InstallError::kUnknown));
        return;
    }
    const SetupMode mode = m_pController->Engine()->Mode();
    if (mode == SetupMode::Fast || mode == SetupMode::NoUi) OnInstallClicked();
}

void InstallDialog::Paint(Gdiplus::Graphics& surface) {
    if (Gdiplus::Image* background = Art(kArtBackground)) surface.DrawImage(background, 0, 0);
    RECT client = {};
    if (Window()) GetClientRect(Window(), &client);
    if (Gdiplus::Image* logo = Art(kArtLogo)) {
        surface.DrawImage(logo, (client.right - client.left - ArtWidth(kArtLogo)) / 2, kLogoTop);
    }
}

INT_PTR InstallDialog::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            // Only the path box sends commands; the system's close request (IDCANCEL) is ignored.
            return m_pLocationPage ? m_pLocationPage->OnEditCommand(wParam, lParam) : 0;
        case WM_DESTROY:
            if (HiddenMode()) PostQuitMessage(0);
            return 0;
        case WM_TIMER:
            if (wParam != kCreepTimer) return 0;
            HandleKeptReports();
            CreepProgress();
            return 1;
        case WM_CTLCOLOREDIT:
            SetTextColor(reinterpret_cast<HDC>(wParam), kEditTextColor);
            return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_WINDOW));
        case WM_SETUP_PROGRESS: {
            std::unique_ptr<float> boxed(reinterpret_cast<float*>(wParam));
            if (boxed) SetProgress(*boxed);
            return 1;
        }
        case WM_SETUP_STEP:
            OnStep(static_cast<int32_t>(wParam));
            return 1;
        case WM_SETUP_ERROR:
            HandleError(reinterpret_cast<InstallError*>(wParam));
            return 1;
        default:
            return 0;
    }
}

// ---- page switching --------------------------------------------------------------------------

void InstallDialog::ShowPage(PageView page, bool show) {
    switch (page) {
        case PageView::Welcome:
            for (Widget* widget : {static_cast<Widget*>(m_pInstallButton), static_cast<Widget*>(m_pAgreementBox),
                                   static_cast<Widget*>(m_pAgreementLink), static_cast<Widget*>(m_pLocationLink)}) {
                if (widget) widget->SetVisible(show);
            }
            break;
        case PageView::Location:
            if (!show) {
                if (m_pLocationPage) m_pLocationPage->SetVisible(false);
            } else if (m_pLocationPage) {
                m_pLocationPage->SetVisible(true);
            } else {
                // Added before it is set up: the path box is placed by the page's window position.
                m_pLocationPage = AddChild(std::make_unique<CustomInstallView>(this, m_pController));
                m_pLocationPage->SetGeometry(0, Height() - kLocationPageHeight, Width(), kLocationPageHeight);
                m_pLocationPage->Setup(m_strInstallFolder, Agreed(), QuickLaunchPreset());
            }
            Invalidate();
            break;
        case PageView::Abort:
            if (!show) {
                if (m_pAbortPage) m_pAbortPage->SetVisible(false);
            } else if (m_pAbortPage) {
                m_pAbortPage->SetVisible(true);
            } else {
                m_pAbortPage = AddChild(std::make_unique<AbortInstallView>());
                m_pAbortPage->SetGeometry((Width() - kAbortCardWidth) / 2, (Height() - kAbortCardHeight) / 2,
                                          kAbortCardWidth, kAbortCardHeight);
                m_pAbortPage->Build(this);
            }
            Invalidate();
            break;
        case PageView::Progress:
            if (show) BuildProgressPage();
            break;
    }
}

bool InstallDialog::QuickLaunchPreset() {
    const InstallUIManager* manager = InstallUIManager::Instance();
    return !manager || manager->QuickLaunchChoice();
}

void InstallDialog::SetCurrentPage(PageView page) {
    if (page == m_currentPage) return;
    m_previousPage = m_currentPage;
    m_currentPage = page;
}

void InstallDialog::ShowLocationPage() {
    ShowPage(PageView::Welcome, false);
    ShowPage(PageView::Location, true);
    SetCurrentPage(PageView::Location);
}

void InstallDialog::ReturnToWelcome() {
    ShowPage(PageView::Welcome, true);
    ShowPage(PageView::Location, false);
    SetCurrentPage(PageView::Welcome);
}

void InstallDialog::ShowProgressPage() {
    if (m_currentPage == PageView::Progress || m_currentPage == PageView::Abort) return;
    ShowPage(m_currentPage, false);
    ShowPage(PageView::Progress, true);
    SetCurrentPage(PageView::Progress);
}

void InstallDialog::OpenAbortPage() {
    if (m_currentPage == PageView::Welcome || m_currentPage == PageView::Location) ShowPage(m_currentPage, false);
    ShowPage(PageView::Abort, true);
    SetCurrentPage(PageView::Abort);
}

void InstallDialog::CloseAbortPage() {
    ShowPage(PageView::Abort, false);
    if (m_previousPage == PageView::Welcome || m_previousPage == PageView::Location) ShowPage(m_previousPage, true);
    SetCurrentPage(m_previousPage);
}

void InstallDialog::OnCloseClicked() {
    if (m_currentPage == PageView::Abort) CloseAbortPage();
    else OpenAbortPage();
}

void InstallDialog::OnMinimiseClicked() {
    ShowWindow(Window(), SW_MINIMIZE);
}

}  // namespace ui
