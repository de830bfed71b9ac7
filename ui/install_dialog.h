#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "ui/toolkit/dialog_wrapper.h"

class InstallController;
class InstallError;

namespace ui {

// The main page of the setup window. It starts the extraction as soon as it exists, starts the
// installation when asked (at once in the fast and hidden modes), follows the engine's steps and
// ends with result 0 after the final step or 1 after an error or an abort.
class InstallDialog : public DialogWrapper {
public:
    enum class Page { Welcome, Location, Progress, Abort };

    InstallDialog(InstallController* controller, bool modal);

    int32_t ResultCode() const { return m_nResultCode; }
    int32_t Step() const { return m_nStep; }
    float Progress() const { return m_fProgress; }

    void OnInstallClicked();
    // Has the engine check the folder to install into and explains a refusal (in the hidden mode
    // it ends the window instead). True when the installation may go on.
    bool CommitInstallFolder();
    // True when a running client (or its updater) stops the install: in the hidden mode at once,
    // otherwise when the user cancels the Retry/Cancel box; Retry ends the client and goes on.
    bool CheckProductRunning();
    // The folder shown to the user: the product root above the version folder.
    const std::wstring& InstallFolderText() const { return m_strInstallFolder; }
    void OnStep(int32_t step);
    void HandleError(InstallError* error);
    void Finish();
    void OnAbortConfirmed();

protected:
    void OnInitDialog() override;
    INT_PTR HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    bool HiddenMode() const;
    void ShowProgressPage();
    void SetProgress(float fraction);
    void StartInstallWhenExtracted();
    // The version folder the install click asks for. The location page, once the window has it,
    // supplies its own choice here; until then the engine's folder stands.
    std::wstring CandidateVersionFolder() const;
    void ShowFolderRefusal(int verdict, uint32_t requiredBytes);

    InstallController* m_pController;
    int32_t m_nStep = 0;
    Page m_currentPage = Page::Welcome;
    float m_fProgress = 0.0f;
    std::wstring m_strInstallFolder;
    // Errors that arrived while the welcome page was current; reported at the install click.
    std::deque<std::unique_ptr<InstallError>> m_queuedErrors;
    // The install was requested before the extraction had finished; it starts at step 1.
    bool m_bInstallPending = false;
    bool m_bInstallStarted = false;
    int32_t m_nResultCode = 1;
};

}  // namespace ui
