// The uninstall window's course: confirmation, the running client, the removal on its worker
// thread and the result.
#include "ui/uninstall/uninstall_dialog.h"

#include "diag/install_log.h"
#include "ui/toolkit/check_button.h"
#include "ui/uninstall/uninstall_art.h"
#include "ui/uninstall/uninstall_resources.h"
#include "ui/uninstall/uninstall_texts.h"
#include "ui/uninstall/uninstall_window.h"

namespace ui {

namespace {

constexpr int kWindowWidth = 420;
constexpr int kWindowHeight = 270;

}  // namespace

UninstallDialog::UninstallDialog(UninstallWindowHandler& handler, UninstallArt& art, const std::wstring& refusal)
    : DialogWrapper(true), m_handler(handler), m_art(art), m_refusal(refusal) {
    SetName(kUninstallDialogName);
}

void UninstallDialog::OnInitDialog() {
    SetWindowPos(Window(), nullptr, 0, 0, kWindowWidth, kWindowHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOREDRAW);
    // The template is centred for its own size; the window is centred again at its real one.
    RECT work = {};
    if (SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) {
        SetWindowPos(Window(), nullptr, work.left + (work.right - work.left - kWindowWidth) / 2,
                     work.top + (work.bottom - work.top - kWindowHeight) / 2, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOREDRAW);
    }
    // The title names the window in the taskbar; the window draws no caption.
    SetTitle(kUninstallTitle);
    const HINSTANCE module = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(Window(), GWLP_HINSTANCE));
    if (HICON icon = LoadIconW(module, MAKEINTRESOURCEW(PELORA_UNINSTALL_ICON))) {
        SendMessageW(Window(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
        SendMessageW(Window(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    }
    BuildWidgets();
    if (m_refusal.empty()) {
        ShowPage(UninstallPage::Confirm, kUninstallQuestion);
    } else {
        m_nResultCode = 1;
        ShowPage(UninstallPage::Result, m_refusal);
    }
}

INT_PTR UninstallDialog::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            // The dialog manager turns Enter into IDOK and Esc (and Alt+F4) into IDCANCEL.
            if (LOWORD(wParam) == IDOK) OnPrimaryClicked();
            else if (LOWORD(wParam) == IDCANCEL) OnCloseClicked();
            return 1;
        case RemovalWorker::kRemovalProgress:
            SetPercent(static_cast<int>(wParam));
            return 1;
        case RemovalWorker::kRemovalDone:
            OnRemovalDone(static_cast<int>(wParam));
            return 1;
        default:
            return 0;
    }
}

void UninstallDialog::OnPrimaryClicked() {
    switch (m_page) {
        case UninstallPage::Confirm:
            if (m_handler.IsClientRunning()) ShowPage(UninstallPage::ClientRunning, kClientRunningQuestion);
            else StartRemoval();
            break;
        case UninstallPage::ClientRunning:
            if (m_handler.CloseClient()) {
                StartRemoval();
            } else {
                InstallLog::Format(kLogUninstallClientNotClosed);
                ShowPage(UninstallPage::ClientRunning, kClientNotClosedText);
            }
            break;
        case UninstallPage::Progress:
            break;
        case UninstallPage::Result:
            EndModal(m_nResultCode);
            break;
    }
}

void UninstallDialog::OnSecondaryClicked() {
    // Only the question pages have a second button: cancel.
    if (m_page == UninstallPage::Confirm || m_page == UninstallPage::ClientRunning) EndModal(1);
}

void UninstallDialog::OnCloseClicked() {
    switch (m_page) {
        case UninstallPage::Confirm:
        case UninstallPage::ClientRunning:
            EndModal(1);
            break;
        case UninstallPage::Progress:
            // Half a removal is worse than none: the window stays until it has ended.
            break;
        case UninstallPage::Result:
            EndModal(m_nResultCode);
            break;
    }
}

void UninstallDialog::OnDataLabelClicked() {
    if (m_page == UninstallPage::Confirm && m_pDataBox) m_pDataBox->Toggle();
}

void UninstallDialog::StartRemoval() {
    const bool removeData = m_pDataBox && m_pDataBox->IsChecked();
    InstallLog::Format(kLogUninstallConfirmed, removeData ? L"removed" : L"kept");
    ShowPage(UninstallPage::Progress, std::wstring());
    if (!m_worker.Start(Window(), m_handler, removeData)) {
        InstallLog::Format(kLogUninstallWorkerFailed);
        OnRemovalDone(1);
    }
}

void UninstallDialog::OnRemovalDone(int result) {
    m_worker.Join();
    InstallLog::Format(kLogUninstallResult, result);
    m_nResultCode = result == 0 ? 0 : 1;
    ShowPage(UninstallPage::Result, result == 0 ? kUninstalledText : kUninstallIncompleteText);
}

}  // namespace ui
