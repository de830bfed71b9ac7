#pragma once

#include <cstdint>
#include <string>

#include "ui/toolkit/dialog_wrapper.h"
#include "ui/uninstall/removal_worker.h"

namespace ui {

class CheckButton;
class ImageButton;
class ProgressBar;
class TextButton;
class UninstallArt;
class UninstallWindowHandler;

// What the uninstall window shows: the question, the question whether to end the running client,
// the removal's progress, its result.
enum class UninstallPage : int32_t { Confirm = 0, ClientRunning = 1, Progress = 2, Result = 3 };

// The uninstall window: the setup window's background, logo and close button at a smaller size,
// a heading, a message, the box for the user's data, up to two buttons, and the progress bar.
// Enter presses the page's first button and Esc its cancel; during the removal neither, nor the
// close button, does anything. The result is 0 only after a removal that reported success.
class UninstallDialog : public DialogWrapper {
public:
    UninstallDialog(UninstallWindowHandler& handler, UninstallArt& art, const std::wstring& refusal);

    int32_t ResultCode() const { return m_nResultCode; }
    UninstallPage CurrentPage() const { return m_page; }

    void Paint(Gdiplus::Graphics& surface) override;

protected:
    void OnInitDialog() override;
    INT_PTR HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    // ---- the widgets and the pages' look (uninstall_dialog_layout.cpp) ----
    void BuildWidgets();
    void ShowPage(UninstallPage page, const std::wstring& message);
    void PlaceButtons(const wchar_t* primary, const wchar_t* secondary);
    void SetPercent(int percent);

    // ---- what the user does (uninstall_dialog.cpp) ----
    void OnPrimaryClicked();
    void OnSecondaryClicked();
    void OnCloseClicked();
    void OnDataLabelClicked();
    void StartRemoval();
    void OnRemovalDone(int result);

    UninstallWindowHandler& m_handler;
    UninstallArt& m_art;
    const std::wstring m_refusal;
    RemovalWorker m_worker;
    UninstallPage m_page = UninstallPage::Confirm;
    int32_t m_nResultCode = 1;

    ImageButton* m_pCloseButton = nullptr;
    TextButton* m_pHeading = nullptr;
    TextButton* m_pMessage = nullptr;
    CheckButton* m_pDataBox = nullptr;
    TextButton* m_pDataLabel = nullptr;
    TextButton* m_pPrimaryButton = nullptr;
    TextButton* m_pSecondaryButton = nullptr;
    TextButton* m_pStatusLabel = nullptr;
    TextButton* m_pPercentLabel = nullptr;
    ProgressBar* m_pProgressBar = nullptr;
};

}  // namespace ui
