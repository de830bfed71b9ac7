#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "ui/toolkit/dialog_wrapper.h"

class InstallController;
class InstallError;

namespace ui {

class AbortInstallView;
class CheckButton;
class CustomInstallButton;
class CustomInstallView;
class ImageButton;
class ProgressBar;
class TextButton;

// The pages that share the setup window.
enum class PageView : int32_t { Welcome = 0, Location = 1, Progress = 2, Abort = 3 };

// The setup window itself: background art and logo, the title-bar buttons and the four pages
// (welcome, location, progress, abort card). It starts the extraction as soon as the window exists,
// starts the installation on the install click (at once in the fast and hidden modes), follows
// the engine's steps and ends with result 0 after the final step or 1 after an error or an abort.
class InstallDialog : public DialogWrapper {
public:
    explicit InstallDialog(InstallController* controller);

    int32_t ResultCode() const { return m_nResultCode; }
    int32_t Step() const { return m_nStep; }
    float Progress() const { return m_fProgress; }
    PageView CurrentPage() const { return m_currentPage; }
    const std::wstring& StatusText() const { return m_strStatusText; }
    // The folder shown to the user: the product root above the version folder.
    const std::wstring& InstallFolderText() const { return m_strInstallFolder; }
    CustomInstallView* LocationPage() const { return m_pLocationPage; }

    // ---- welcome page and install click (install_dialog_install.cpp) ----
    void OnInstallClicked();
    // Has the engine check the folder to install into and explains a refusal (in the hidden mode
    // it ends the window instead). True when the installation may go on.
    bool CommitInstallFolder();
    // True when a running client (or its updater) stops the install: in the hidden mode at once,
    // otherwise when the user cancels the Retry/Cancel box; Retry ends the client and goes on.
    bool CheckProductRunning();
    // Follows the agreement box whenever it changes: both install buttons enabled or disabled.
    void OnAgreementToggled();
    void OnAgreementLinkState(int oldState, int newState, ImageButton* button);
    void OnAgreementLinkClicked();

    // ---- page switching (install_dialog.cpp) ----
    void ShowPage(PageView page, bool show);
    void SetCurrentPage(PageView page);
    void ShowLocationPage();
    void ReturnToWelcome();
    void ShowProgressPage();
    void OpenAbortPage();
    void CloseAbortPage();
    void OnCloseClicked();
    void OnMinimiseClicked();

    // ---- progress and the end (install_dialog_progress.cpp) ----
    void SetProgress(float fraction);
    void OnStep(int32_t step);
    void SetStatusText(const std::wstring& text);
    // Takes ownership of `error`. On the welcome page the error waits for the install click;
    // otherwise the window ends with it.
    void HandleError(InstallError* error);
    // Shows the error (a box, unless hidden), logs it and ends the window with result 1.
    void EndWithError(const InstallError& error);
    void Finish();
    void OnAbortConfirmed();

    void Paint(Gdiplus::Graphics& surface) override;

protected:
    void OnInitDialog() override;
    INT_PTR HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    bool HiddenMode() const;
    // What the agreement box shows (agreed when there is no box).
    bool Agreed() const;
    // The quick-launch box's first value: the choice of the last window that showed it.
    static bool QuickLaunchPreset();
    void BuildWelcomePage();
    void BuildProgressPage();
    void CreepProgress();
    // Handles the steps and errors the UI manager could not post, as if they had arrived.
    void HandleKeptReports();
    void ShowFolderRefusal(int verdict, uint32_t requiredBytes);
    void StartInstallWhenExtracted();

    int32_t m_nStep = 0;
    TextButton* m_pInstallButton = nullptr;
    TextButton* m_pAgreementLink = nullptr;
    TextButton* m_pStatusLabel = nullptr;
    TextButton* m_pPercentLabel = nullptr;
    ImageButton* m_pCloseButton = nullptr;
    CheckButton* m_pAgreementBox = nullptr;
    ProgressBar* m_pProgressBar = nullptr;
    CustomInstallButton* m_pLocationLink = nullptr;
    CustomInstallView* m_pLocationPage = nullptr;
    AbortInstallView* m_pAbortPage = nullptr;
    int32_t m_nResultCode = 1;
    PageView m_currentPage = PageView::Welcome;
    PageView m_previousPage = PageView::Welcome;
    std::wstring m_strInstallFolder;
    InstallController* m_pController;
    // Errors that arrived while the welcome page was current; reported at the install click.
    std::deque<std::unique_ptr<InstallError>> m_queuedErrors;
    std::wstring m_strStatusText;
    float m_fProgress = 0.01f;
    // The install was requested before the extraction had finished; it starts at step 1.
    bool m_bInstallPending = false;
    bool m_bInstallStarted = false;
};

}  // namespace ui
