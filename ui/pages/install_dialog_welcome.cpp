// The welcome page of the setup window: its widgets, the agreement and the install click.
#include "ui/pages/install_dialog.h"

#include <shellapi.h>

#include "app/install_controller.h"
#include "app/install_errors.h"
#include "app/install_manager.h"
#include "common/product.h"
#include "deploy/client_process.h"
#include "deploy/deploy_constants.h"
#include "deploy/install_folder_check.h"
#include "deploy/previous_install_constants.h"
#include "diag/text_format.h"
#include "diag/install_log.h"
#include "ui/pages/custom_install_view.h"
#include "ui/pages/folder_choice.h"
#include "ui/pages/page_art.h"
#include "ui/pages/page_texts.h"
#include "ui/setup_texts.h"
#include "ui/toolkit/check_button.h"
#include "ui/toolkit/custom_install_button.h"

namespace ui {

namespace {

constexpr int kWindowWidth = 590;
constexpr int kInstallButtonBottom = 376;
constexpr int kBottomLine = 426;
constexpr int kLocationLinkX = 486;
constexpr int kLocationLinkWidth = 90;
constexpr int kInstallTextSize = 20;
constexpr int kLinkTextSize = 13;

void SetArt(ImageButton& button, ButtonState state, int32_t id) {
    button.SetImage(state, Art(id));
}

}  // namespace

void InstallDialog::BuildWelcomePage() {
    auto close = std::make_unique<ImageButton>();
    SetArt(*close, ButtonState::Normal, kArtCloseNormal);
    SetArt(*close, ButtonState::Hover, kArtCloseHover);
    SetArt(*close, ButtonState::Down, kArtCloseDown);
    SetArt(*close, ButtonState::Disabled, kArtCloseDisabled);
    close->SetGeometry(kWindowWidth - ArtWidth(kArtCloseNormal), 0, ArtWidth(kArtCloseNormal),
                       ArtHeight(kArtCloseNormal));
    close->SetName(kCloseButtonName);
    close->Clicked.connect(this, &InstallDialog::OnCloseClicked);
    m_pCloseButton = AddChild(std::move(close));

    auto minimise = std::make_unique<ImageButton>();
    SetArt(*minimise, ButtonState::Normal, kArtMinimiseNormal);
    SetArt(*minimise, ButtonState::Hover, kArtMinimiseHover);
    SetArt(*minimise, ButtonState::Down, kArtMinimiseDown);
    minimise->SetGeometry(kWindowWidth - 2 - ArtWidth(kArtMinimiseNormal) - ArtWidth(kArtCloseNormal), 0,
                          ArtWidth(kArtMinimiseNormal), ArtHeight(kArtMinimiseNormal));
    minimise->SetName(kMinimiseButtonName);
    minimise->Clicked.connect(this, &InstallDialog::OnMinimiseClicked);
    AddChild(std::move(minimise));

    auto install = std::make_unique<TextButton>();
    SetArt(*install, ButtonState::Normal, kArtInstallNormal);
    SetArt(*install, ButtonState::Hover, kArtInstallHover);
    SetArt(*install, ButtonState::Down, kArtInstallDown);
    SetArt(*install, ButtonState::Disabled, kArtInstallDisabled);
    install->SetTextStyle(kWhite, kInstallTextSize);
    install->SetAlignment(TextAlignment::Center);
    install->SetText(kInstallButtonText, false);
    install->SetGeometry((kWindowWidth - ArtWidth(kArtInstallNormal)) / 2,
                         kInstallButtonBottom - ArtHeight(kArtInstallNormal), ArtWidth(kArtInstallNormal),
                         ArtHeight(kArtInstallNormal));
    install->SetName(kInstallButtonName);
    install->Clicked.connect(this, &InstallDialog::OnInstallClicked);
    m_pInstallButton = AddChild(std::move(install));

    auto agreement = std::make_unique<CheckButton>();
    agreement->SetImages(Art(kArtChecked), Art(kArtUnchecked));
    agreement->SetGeometry(14, kBottomLine - ArtHeight(kArtChecked), ArtWidth(kArtChecked), ArtHeight(kArtChecked));
    agreement->SetName(kCheckButtonName);
    // Toggled, not Clicked: a press released beside the box flips it without a click, and the
    // install buttons must follow what the box shows.
    agreement->Toggled.connect(this, &InstallDialog::OnAgreementToggled);
    m_pAgreementBox = AddChild(std::move(agreement));

    auto link = std::make_unique<TextButton>();
    link->SetTextStyle(kHalfWhite, kLinkTextSize);
    link->SetAlignment(TextAlignment::Near);
    link->SetText(kAgreementLinkText, false);
    const SIZE measured = link->MeasureText();
    link->SetGeometry(ArtWidth(kArtChecked) + 20, kBottomLine - ArtHeight(kArtChecked), measured.cx, measured.cy);
    link->Clicked.connect(this, &InstallDialog::OnAgreementLinkClicked);
    link->StateChanged.connect(this, &InstallDialog::OnAgreementLinkState);
    m_pAgreementLink = AddChild(std::move(link));

    auto location = std::make_unique<CustomInstallButton>();
    location->SetTextStyle(CustomInstallButton::kNormalColor, kLinkTextSize);
    location->SetAlignment(TextAlignment::Near);
    location->SetText(kLocationLinkText, false);
    SetArt(*location, ButtonState::Normal, kArtLinkIconNormal);
    SetArt(*location, ButtonState::Hover, kArtLinkIconHover);
    SetArt(*location, ButtonState::Down, kArtLinkIconDown);
    location->SetGeometry(kLocationLinkX, kBottomLine - ArtHeight(kArtLinkIconNormal), kLocationLinkWidth,
                          ArtHeight(kArtLinkIconNormal));
    location->Clicked.connect(this, &InstallDialog::ShowLocationPage);
    m_pLocationLink = AddChild(std::move(location));
}

void InstallDialog::OnAgreementToggled() {
    const bool agreed = m_pAgreementBox->IsChecked();
    if (!agreed) {
        m_pInstallButton->SetState(ButtonState::Disabled);
        m_pInstallButton->SetColor(kDimmedWhite);
    } else if (m_pInstallButton->State() == ButtonState::Disabled) {
        m_pInstallButton->SetState(ButtonState::Normal);
        m_pInstallButton->SetColor(kWhite);
    }
    if (m_pLocationPage) m_pLocationPage->SetAgreed(agreed);
}

void InstallDialog::OnAgreementLinkState(int, int newState, ImageButton* button) {
    if (button != m_pAgreementLink) return;
    const auto state = static_cast<ButtonState>(newState);
    const bool lit = state == ButtonState::Hover || state == ButtonState::Down;
    m_pAgreementLink->SetColor(lit ? kWhite : kHalfWhite);
    m_pAgreementLink->SetUnderline(lit);
}

void InstallDialog::OnAgreementLinkClicked() {
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(Window(), kOpenVerb, kAgreementUrl, nullptr, nullptr, SW_SHOWNORMAL));
    // ShellExecute reports success with a value above 32.
    if (result <= 32) InstallLog::Format(kLogAgreementNotOpened, kAgreementUrl, static_cast<long>(result));
}

bool InstallDialog::Agreed() const {
    return !m_pAgreementBox || m_pAgreementBox->IsChecked();
}

void InstallDialog::OnInstallClicked() {
    // The disabled install buttons already say so; the box decides, whatever reached this.
    if (!Agreed()) return;
    // A refused folder keeps the current page: the user may choose another one and click again.
    if (!CommitInstallFolder()) return;
    // A running client keeps its files open: it is stopped (with consent) before anything is replaced.
    if (CheckProductRunning()) return;
    ShowProgressPage();
    if (m_pCloseButton) m_pCloseButton->SetState(ButtonState::Disabled);
    if (!m_queuedErrors.empty()) {
        // The first queued error ends the dialog; the others are still logged, oldest first.
        while (!m_queuedErrors.empty()) {
            InstallError* error = m_queuedErrors.front().release();
            m_queuedErrors.pop_front();
            HandleError(error);
        }
        return;
    }
    // The pin follows the quick-launch box as it shows now. Without the location page there is no
    // box, and the engine keeps the choice of the command line and the defaults.
    if (m_pLocationPage) m_pLocationPage->ApplyQuickLaunchChoice();
    StartInstallWhenExtracted();
}

void InstallDialog::StartInstallWhenExtracted() {
    if (m_bInstallStarted) return;
    // The installation deploys the staged tree, so it waits for the extraction to succeed.
    if (m_nStep >= kStepExtracted) {
        m_bInstallStarted = true;
        m_bInstallPending = false;
        // An installation the worker never received would keep the window waiting for good.
        if (!m_pController->Engine()->StartInstall()) EndWithError(InstallError(InstallError::kUnknown));
    } else {
        m_bInstallPending = true;
    }
}

bool InstallDialog::CommitInstallFolder() {
    InstallManager* engine = m_pController->Engine();
    std::wstring candidate = engine->VersionFolder();
    if (m_pLocationPage) candidate = CombinePath(m_pLocationPage->ChosenFolder(), engine->VersionString());
    const uint32_t required = engine->RequiredSpace();
    std::wstring replacement;
    const int verdict = engine->SetInstallFolder(candidate, replacement);
    if (!replacement.empty()) {
        m_strInstallFolder = replacement;
        if (m_pLocationPage) m_pLocationPage->SetFolderText(m_strInstallFolder);
    }
    if (HiddenMode()) {
        if (verdict == kInstallFolderOk) return true;
        DestroyNative();
        return false;
    }
    ShowFolderRefusal(verdict, required);
    // A verdict this window does not know stops nothing.
    return verdict != kInstallFolderInvalid && verdict != kInstallFolderDiskFull && verdict != kInstallFolderNoAccess;
}

void InstallDialog::ShowFolderRefusal(int verdict, uint32_t requiredBytes) {
    switch (verdict) {
        case kInstallFolderInvalid:
            MessageBoxW(Window(), kFolderInvalidText, product::kMessageCaption, MB_ICONERROR);
            break;
        case kInstallFolderDiskFull: {
            const std::wstring text = FormatText(kFolderDiskFullFormat, requiredBytes / 1024.0 / 1024.0);
            MessageBoxW(Window(), text.c_str(), product::kMessageCaption, MB_ICONWARNING);
            break;
        }
        case kInstallFolderNoAccess:
            MessageBoxW(Window(), kFolderNoAccessText, product::kMessageCaption, MB_ICONERROR);
            break;
        default:
            break;
    }
}

bool InstallDialog::CheckProductRunning() {
    InstallManager* engine = m_pController->Engine();
    ClientProcessFilter filter;
    filter.newVersionFolder = engine->VersionFolder();
    filter.oldVersionFolder = engine->PreviousVersionFolder();
    filter.ownedFolder = m_strInstallFolder;
    if (IsClientRunning(filter) == deploy::kNothingRunning) return false;
    if (HiddenMode()) {
        InstallLog::Format(kLogClientRunningHidden);
        DestroyNative();
        return true;
    }
    const int answer =
        MessageBoxW(Window(), kClientRunningText, product::kMessageCaption, MB_ICONWARNING | MB_RETRYCANCEL);
    if (answer != IDRETRY) return true;
    // Whatever the termination gives, the install goes on; a client still running shows up as
    // files that cannot be replaced.
    TerminateClientProcesses(deploy::kClientFileName, filter);
    return false;
}

}  // namespace ui
