#include "ui/pages/custom_install_view.h"

#include "app/install_controller.h"
#include "app/install_manager.h"
#include "common/product.h"
#include "deploy/install_paths.h"
#include "diag/install_log.h"
#include "diag/scoped_com.h"
#include "ui/install_ui_manager.h"
#include "ui/pages/install_dialog.h"
#include "ui/pages/page_art.h"
#include "ui/pages/page_texts.h"
#include "ui/pages/path_edit_box.h"
#include "ui/setup_texts.h"
#include "ui/toolkit/check_button.h"
#include "ui/toolkit/gdiplus_include.h"
#include "ui/toolkit/text_button.h"

namespace ui {

namespace {

constexpr int kMaxBrowsedLength = 100;

void SetFaces(TextButton& button, int32_t normal, int32_t hover, int32_t down) {
    button.SetImage(ButtonState::Normal, Art(normal));
    button.SetImage(ButtonState::Hover, Art(hover));
    button.SetImage(ButtonState::Down, Art(down));
}

std::unique_ptr<TextButton> Label(const wchar_t* text, int x, int y, int width, int height) {
    auto label = std::make_unique<TextButton>();
    label->SetTextStyle(kHalfWhite, 14);
    label->SetAlignment(TextAlignment::Near);
    label->SetText(text, false);
    label->SetGeometry(x, y, width, height);
    return label;
}

}  // namespace

CustomInstallView::CustomInstallView(InstallDialog* dialog, InstallController* controller)
    : m_pController(controller), m_pDialog(dialog) {}

CustomInstallView::~CustomInstallView() {
    DestroyEditBox();
}

void CustomInstallView::Setup(const std::wstring& folderText, bool agreed, bool quickLaunch) {
    const int returnX = Width() - ArtWidth(kArtReturnNormal) - 20;
    const int returnY = Height() - ArtHeight(kArtReturnNormal) - 12;

    auto back = std::make_unique<TextButton>();
    SetFaces(*back, kArtReturnNormal, kArtReturnHover, kArtReturnDown);
    back->SetTextStyle(kViolet, 13);
    back->SetAlignment(TextAlignment::Center);
    back->SetText(kReturnButtonText, false);
    back->SetGeometry(returnX, returnY, ArtWidth(kArtReturnNormal), ArtHeight(kArtReturnNormal));
    back->SetName(kReturnButtonName);
    if (m_pDialog) back->Clicked.connect(m_pDialog, &InstallDialog::ReturnToWelcome);
    m_pReturnButton = AddChild(std::move(back));

    auto install = std::make_unique<TextButton>();
    SetFaces(*install, kArtSmallInstallNormal, kArtSmallInstallHover, kArtSmallInstallDown);
    install->SetImage(ButtonState::Disabled, Art(kArtSmallInstallDisabled));
    install->SetTextStyle(kWhite, 13);
    install->SetAlignment(TextAlignment::Center);
    install->SetText(kInstallButtonText, false);
    install->SetGeometry(returnX - ArtWidth(kArtSmallInstallNormal) - 10, returnY, ArtWidth(kArtSmallInstallNormal),
                         ArtHeight(kArtSmallInstallNormal));
    install->SetName(kInstallButtonName);
    if (m_pDialog) install->Clicked.connect(m_pDialog, &InstallDialog::OnInstallClicked);
    m_pInstallButton = AddChild(std::move(install));

    auto browse = std::make_unique<TextButton>();
    SetFaces(*browse, kArtBrowseNormal, kArtBrowseHover, kArtBrowseDown);
    browse->SetTextStyle(kWhite, 16);
    browse->SetAlignment(TextAlignment::Center);
    browse->SetText(kBrowseButtonText, false);
    const int browseY = returnY - ArtHeight(kArtBrowseNormal) - 20;
    browse->SetGeometry(returnX, browseY, ArtWidth(kArtBrowseNormal), ArtHeight(kArtBrowseNormal));
    browse->SetName(kBrowseButtonName);
    browse->Clicked.connect(this, &CustomInstallView::OnBrowseClicked);
    m_pBrowseButton = AddChild(std::move(browse));

    m_pLocationLabel = AddChild(Label(kLocationLabelText, 20, browseY - 26, 100, 14));

    m_strFolderText = folderText;
    CreateEditBox();

    auto box = std::make_unique<CheckButton>();
    box->SetImages(Art(kArtChecked), Art(kArtUnchecked));
    box->SetGeometry(20, 110, ArtWidth(kArtChecked), ArtHeight(kArtChecked));
    box->SetName(kCheckButtonName);
    box->SetChecked(quickLaunch);
    // Toggled, not Clicked: a press released beside the box flips it without a click.
    box->Toggled.connect(this, &CustomInstallView::ApplyQuickLaunchChoice);
    m_pQuickLaunchBox = AddChild(std::move(box));
    ApplyQuickLaunchChoice();

    m_pQuickLaunchLabel = AddChild(Label(kQuickLaunchText, 20 + 14, 110 - 2, 120, 14));

    SetAgreed(agreed);
}

void CustomInstallView::Paint(Gdiplus::Graphics& surface) {
    Gdiplus::SolidBrush band{Gdiplus::Color(kDarkBand)};
    surface.FillRectangle(&band, 0, 0, Width(), Height());
}

void CustomInstallView::SetVisible(bool visible) {
    Widget::SetVisible(visible);
    if (visible) {
        CreateEditBox();
    } else if (m_hEditBox) {
        m_strFolderText = PathEditText(m_hEditBox);
        DestroyEditBox();
    }
}

void CustomInstallView::CreateEditBox() {
    if (m_hEditBox || !m_pBrowseButton) return;
    const RECT page = AbsoluteRect();
    const int boxWidth = page.right - page.left - m_pBrowseButton->Width() - 42;
    const RECT box = {page.left + 20, page.top + 46, page.left + 20 + boxWidth,
                      page.top + 46 + m_pBrowseButton->Height()};
    m_hEditBox = CreatePathEditBox(HostWindow(), box, m_strFolderText, m_pController->ModuleInstance());
    if (!m_hEditBox) InstallLog::Format(kLogNoPathBox, GetLastError());
}

void CustomInstallView::DestroyEditBox() {
    if (m_hEditBox && IsWindow(m_hEditBox)) DestroyWindow(m_hEditBox);
    m_hEditBox = nullptr;
}

void CustomInstallView::SetAgreed(bool agreed) {
    if (agreed) {
        if (m_pInstallButton->State() == ButtonState::Disabled) {
            m_pInstallButton->SetState(ButtonState::Normal);
            m_pInstallButton->SetColor(kWhite);
        }
    } else {
        m_pInstallButton->SetState(ButtonState::Disabled);
        m_pInstallButton->SetColor(kDimmedWhite);
    }
}

void CustomInstallView::SetFolderText(const std::wstring& text) {
    m_strFolderText = text;
    if (IsVisible() && m_hEditBox) ShowOwnText(text);
}

void CustomInstallView::ShowOwnText(const std::wstring& text) {
    m_bShowingOwnText = true;
    SetWindowTextW(m_hEditBox, text.c_str());
    m_bShowingOwnText = false;
}

int32_t CustomInstallView::OnEditCommand(WPARAM wParam, LPARAM lParam) {
    if (LOWORD(wParam) != kPathEditId || HIWORD(wParam) != EN_CHANGE || !m_hEditBox ||
        reinterpret_cast<HWND>(lParam) != m_hEditBox) {
        return 0;
    }
    // The box is created with its text, which it does not report: every change it reports is the
    // user's, unless the program is setting the text itself.
    if (!m_bShowingOwnText) m_origin = FolderOrigin::Typed;
    m_strFolderText = PathEditText(m_hEditBox);
    return 1;
}

std::wstring CustomInstallView::ChosenFolder() const {
    // While the box exists its text is the folder; it reports every change, so the two agree.
    return ui::ChosenFolder(m_strFolderText, m_origin);
}

void CustomInstallView::OnBrowseClicked() {
    // The folder picker is a shell dialog: it needs a single-threaded apartment on this thread.
    diag::ScopedComApartment apartment(COINIT_APARTMENTTHREADED);
    const std::wstring picked = BrowseForInstallFolder(HostWindow(), kBrowseTitle);
    if (picked.empty()) return;
    if (picked.size() > kMaxBrowsedLength) {
        MessageBoxW(HostWindow(), kBrowsedPathTooLongText, product::kMessageCaption, MB_ICONERROR);
        return;
    }
    m_strFolderText = picked;
    if (m_hEditBox) ShowOwnText(picked);
    m_origin = FolderOrigin::Browsed;
}

void CustomInstallView::ApplyQuickLaunchChoice() {
    const bool checked = m_pQuickLaunchBox->IsChecked();
    if (InstallManager* engine = m_pController->Engine()) engine->SetQuickLaunch(checked);
    if (InstallUIManager* manager = InstallUIManager::Instance()) manager->SetQuickLaunchChoice(checked);
}

}  // namespace ui
