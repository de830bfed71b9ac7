// The uninstall window's widgets and how each page arranges them. Positions follow the window's
// art (res/art/art.toml, "The uninstall window").
#include "ui/uninstall/uninstall_dialog.h"

#include "diag/text_format.h"
#include "ui/toolkit/check_button.h"
#include "ui/toolkit/gdiplus_include.h"
#include "ui/toolkit/progress_bar.h"
#include "ui/toolkit/text_button.h"
#include "ui/uninstall/uninstall_art.h"
#include "ui/uninstall/uninstall_resources.h"
#include "ui/uninstall/uninstall_texts.h"

namespace ui {

namespace {

constexpr int kLogoTop = 18;
constexpr int kHeadingTop = 92;
constexpr int kHeadingHeight = 28;
constexpr int kMessageTop = 124;
constexpr int kMessageHeight = 44;  // room for a second line (a long refusal)
constexpr int kMessageMargin = 24;
constexpr int kDataRowTop = 178;
constexpr int kDataRowHeight = 18;
constexpr int kButtonTop = 214;
constexpr int kButtonGap = 16;
constexpr int kBarHeight = 4;
constexpr int kHeadingTextSize = 20;
constexpr int kMessageTextSize = 14;
constexpr int kLabelTextSize = 13;
constexpr int kButtonTextSize = 15;
constexpr int kStatusTextSize = 14;
constexpr int kPercentTextSize = 24;

// A line of text that takes no presses, so that the window can be dragged by it.
std::unique_ptr<TextButton> Label(const wchar_t* text, Argb colour, int size, TextAlignment alignment) {
    auto label = std::make_unique<TextButton>();
    label->SetTextStyle(colour, size);
    label->SetAlignment(alignment);
    label->SetText(text, false);
    label->SetState(ButtonState::Disabled);
    return label;
}

void SetFaces(TextButton& button, UninstallArt& art, int32_t down, int32_t hover, int32_t normal) {
    button.SetImage(ButtonState::Down, art.Image(down));
    button.SetImage(ButtonState::Hover, art.Image(hover));
    button.SetImage(ButtonState::Normal, art.Image(normal));
}

}  // namespace

void UninstallDialog::Paint(Gdiplus::Graphics& surface) {
    if (Gdiplus::Image* background = m_art.Image(PELORA_UNINSTALL_ART_BACKGROUND)) surface.DrawImage(background, 0, 0);
    if (Gdiplus::Image* logo = m_art.Image(PELORA_UNINSTALL_ART_LOGO)) {
        surface.DrawImage(logo, (Width() - UninstallArt::Width(PELORA_UNINSTALL_ART_LOGO)) / 2, kLogoTop);
    }
}

void UninstallDialog::BuildWidgets() {
    auto close = std::make_unique<ImageButton>();
    close->SetImage(ButtonState::Down, m_art.Image(PELORA_UNINSTALL_ART_CLOSE_DOWN));
    close->SetImage(ButtonState::Hover, m_art.Image(PELORA_UNINSTALL_ART_CLOSE_HOVER));
    close->SetImage(ButtonState::Normal, m_art.Image(PELORA_UNINSTALL_ART_CLOSE_NORMAL));
    close->SetImage(ButtonState::Disabled, m_art.Image(PELORA_UNINSTALL_ART_CLOSE_DISABLED));
    const int closeWidth = UninstallArt::Width(PELORA_UNINSTALL_ART_CLOSE_NORMAL);
    close->SetGeometry(Width() - closeWidth, 0, closeWidth, UninstallArt::Height(PELORA_UNINSTALL_ART_CLOSE_NORMAL));
    close->SetName(kUninstallCloseName);
    close->Clicked.connect(this, &UninstallDialog::OnCloseClicked);
    m_pCloseButton = AddChild(std::move(close));

    auto heading = Label(kUninstallTitle, kUninstallWhite, kHeadingTextSize, TextAlignment::Center);
    heading->SetBold(true);
    heading->SetGeometry(0, kHeadingTop, Width(), kHeadingHeight);
    m_pHeading = AddChild(std::move(heading));

    auto message = Label(L"", kUninstallMessageWhite, kMessageTextSize, TextAlignment::Center);
    message->SetGeometry(kMessageMargin, kMessageTop, Width() - 2 * kMessageMargin, kMessageHeight);
    m_pMessage = AddChild(std::move(message));

    // The box and its label form one row, centred; a click on the label ticks the box too.
    auto dataLabel = std::make_unique<TextButton>();
    dataLabel->SetTextStyle(kUninstallLabelWhite, kLabelTextSize);
    dataLabel->SetAlignment(TextAlignment::Near);
    dataLabel->SetText(kRemoveDataText, false);
    const int labelWidth = dataLabel->MeasureText().cx;
    const int boxSide = UninstallArt::Width(PELORA_UNINSTALL_ART_CHECKED);
    const int rowLeft = (Width() - boxSide - 6 - labelWidth) / 2;
    auto dataBox = std::make_unique<CheckButton>();
    dataBox->SetImages(m_art.Image(PELORA_UNINSTALL_ART_CHECKED), m_art.Image(PELORA_UNINSTALL_ART_UNCHECKED));
    dataBox->Toggle();  // a check box starts ticked; the user's data stays unless asked for
    dataBox->SetGeometry(rowLeft, kDataRowTop + (kDataRowHeight - boxSide) / 2, boxSide, boxSide);
    dataBox->SetName(kRemoveDataBoxName);
    m_pDataBox = AddChild(std::move(dataBox));
    dataLabel->SetGeometry(rowLeft + boxSide + 6, kDataRowTop, labelWidth, kDataRowHeight);
    dataLabel->Clicked.connect(this, &UninstallDialog::OnDataLabelClicked);
    m_pDataLabel = AddChild(std::move(dataLabel));

    auto primary = std::make_unique<TextButton>();
    SetFaces(*primary, m_art, PELORA_UNINSTALL_ART_BUTTON_DOWN, PELORA_UNINSTALL_ART_BUTTON_HOVER,
             PELORA_UNINSTALL_ART_BUTTON_NORMAL);
    primary->SetTextStyle(kUninstallWhite, kButtonTextSize);
    primary->SetName(kUninstallPrimaryName);
    primary->Clicked.connect(this, &UninstallDialog::OnPrimaryClicked);
    m_pPrimaryButton = AddChild(std::move(primary));

    auto secondary = std::make_unique<TextButton>();
    SetFaces(*secondary, m_art, PELORA_UNINSTALL_ART_CANCEL_DOWN, PELORA_UNINSTALL_ART_CANCEL_HOVER,
             PELORA_UNINSTALL_ART_CANCEL_NORMAL);
    secondary->SetTextStyle(kUninstallWhite, kButtonTextSize);
    secondary->SetName(kUninstallSecondaryName);
    secondary->Clicked.connect(this, &UninstallDialog::OnSecondaryClicked);
    m_pSecondaryButton = AddChild(std::move(secondary));

    // The progress page, as the setup window's: status at the left, percentage at the right, the
    // bar along the bottom edge.
    auto status = Label(kUninstallingText, kUninstallHalfWhite, kStatusTextSize, TextAlignment::Near);
    status->SetGeometry(14, Height() - 30, 200, 18);
    m_pStatusLabel = AddChild(std::move(status));
    auto percent = Label(L"", kUninstallHalfWhite, kPercentTextSize, TextAlignment::Far);
    percent->SetGeometry(Width() - 114, Height() - 40, 100, 30);
    m_pPercentLabel = AddChild(std::move(percent));
    auto bar = std::make_unique<ProgressBar>();
    bar->SetGeometry(0, Height() - kBarHeight, Width(), kBarHeight);
    m_pProgressBar = AddChild(std::move(bar));
    SetPercent(0);
}

void UninstallDialog::PlaceButtons(const wchar_t* primary, const wchar_t* secondary) {
    const int width = UninstallArt::Width(PELORA_UNINSTALL_ART_BUTTON_NORMAL);
    const int height = UninstallArt::Height(PELORA_UNINSTALL_ART_BUTTON_NORMAL);
    m_pPrimaryButton->SetText(primary, false);
    m_pPrimaryButton->SetState(ButtonState::Normal);
    if (secondary) {
        m_pPrimaryButton->SetGeometry(Width() / 2 - kButtonGap / 2 - width, kButtonTop, width, height);
        m_pSecondaryButton->SetText(secondary, false);
        m_pSecondaryButton->SetState(ButtonState::Normal);
        m_pSecondaryButton->SetGeometry(Width() / 2 + kButtonGap / 2, kButtonTop, width, height);
    } else {
        m_pPrimaryButton->SetGeometry((Width() - width) / 2, kButtonTop, width, height);
    }
    m_pPrimaryButton->SetVisible(true);
    m_pSecondaryButton->SetVisible(secondary != nullptr);
}

void UninstallDialog::ShowPage(UninstallPage page, const std::wstring& message) {
    m_page = page;
    m_pMessage->SetText(message, false);
    m_pMessage->SetVisible(page != UninstallPage::Progress);
    m_pDataBox->SetVisible(page == UninstallPage::Confirm);
    m_pDataLabel->SetVisible(page == UninstallPage::Confirm);
    const bool progress = page == UninstallPage::Progress;
    m_pStatusLabel->SetVisible(progress);
    m_pPercentLabel->SetVisible(progress);
    m_pProgressBar->SetVisible(progress);
    m_pCloseButton->SetState(progress ? ButtonState::Disabled : ButtonState::Normal);
    switch (page) {
        case UninstallPage::Confirm:
            PlaceButtons(kUninstallButtonText, kCancelButtonText);
            break;
        case UninstallPage::ClientRunning:
            PlaceButtons(kCloseAndUninstallText, kCancelButtonText);
            break;
        case UninstallPage::Progress:
            m_pPrimaryButton->SetVisible(false);
            m_pSecondaryButton->SetVisible(false);
            break;
        case UninstallPage::Result:
            PlaceButtons(kDoneButtonText, nullptr);
            break;
    }
    Invalidate();
}

void UninstallDialog::SetPercent(int percent) {
    m_pPercentLabel->SetText(FormatText(kUninstallPercentFormat, percent), true);
    m_pProgressBar->SetValue(percent, true);
}

}  // namespace ui
