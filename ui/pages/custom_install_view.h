#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "ui/pages/folder_choice.h"
#include "ui/toolkit/widget.h"

class InstallController;

namespace ui {

class CheckButton;
class InstallDialog;
class TextButton;

// The install-location page: a dark band over the lower part of the window with the path box, a
// browse button, the quick-launch check box, an install button and a return button. The path box
// is a native edit control that exists only while the page is shown; the page keeps its text.
class CustomInstallView : public Widget {
public:
    // `dialog` receives the return and install clicks (a page shown on its own has none); the page
    // is added to its parent before Setup.
    CustomInstallView(InstallDialog* dialog, InstallController* controller);
    ~CustomInstallView() override;

    // Builds the children, stores the folder text, creates the path box, applies `agreed` and
    // starts the quick-launch box with `quickLaunch` (the last window's choice).
    void Setup(const std::wstring& folderText, bool agreed, bool quickLaunch);
    // Enables (white text) or disables (dimmed text) the page's install button.
    void SetAgreed(bool agreed);
    // Stores the text and shows it in the path box; the program's own text is not typing, so the
    // folder keeps its origin.
    void SetFolderText(const std::wstring& text);
    // The dialog's WM_COMMAND: the path box's change notifications; 1 when handled, else 0.
    int32_t OnEditCommand(WPARAM wParam, LPARAM lParam);
    // The folder to install into, before the version folder is added.
    std::wstring ChosenFolder() const;

    void OnBrowseClicked();
    // Hands what the quick-launch box shows to the engine's pin flag and to the choice the UI
    // manager keeps for the next window. Runs whenever the box changes, and again at the install
    // click.
    void ApplyQuickLaunchChoice();

    const std::wstring& FolderText() const { return m_strFolderText; }
    FolderOrigin Origin() const { return m_origin; }
    HWND EditBox() const { return m_hEditBox; }
    TextButton* InstallButton() const { return m_pInstallButton; }
    CheckButton* QuickLaunchBox() const { return m_pQuickLaunchBox; }

    void Paint(Gdiplus::Graphics& surface) override;
    // Showing creates the path box again; hiding keeps its text and destroys it.
    void SetVisible(bool visible) override;

private:
    void CreateEditBox();
    void DestroyEditBox();
    // Sets the path box's text for the program: the change the box reports meanwhile is not the
    // user's.
    void ShowOwnText(const std::wstring& text);

    HWND m_hEditBox = nullptr;
    TextButton* m_pLocationLabel = nullptr;
    TextButton* m_pBrowseButton = nullptr;
    TextButton* m_pInstallButton = nullptr;
    CheckButton* m_pQuickLaunchBox = nullptr;
    TextButton* m_pQuickLaunchLabel = nullptr;
    TextButton* m_pReturnButton = nullptr;
    std::wstring m_strFolderText;
    FolderOrigin m_origin = FolderOrigin::Initial;
    // Set while ShowOwnText changes the box: the box reports every change the same way, whoever
    // made it, and reports it before SetWindowText returns.
    bool m_bShowingOwnText = false;
    InstallController* m_pController;
    InstallDialog* m_pDialog;
};

}  // namespace ui
