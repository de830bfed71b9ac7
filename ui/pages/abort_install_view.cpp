#include "ui/pages/abort_install_view.h"

#include "ui/pages/install_dialog.h"
#include "ui/pages/page_art.h"
#include "ui/pages/page_texts.h"
#include "ui/toolkit/custom_install_button.h"
#include "ui/toolkit/gdiplus_include.h"

namespace ui {

namespace {

constexpr int kLogoMargin = 6;

std::unique_ptr<TextButton> CardLine(const wchar_t* text, int y, int width) {
    auto line = std::make_unique<TextButton>();
    line->SetTextStyle(kCardText, 14);
    line->SetAlignment(TextAlignment::Center);
    line->SetText(text, false);
    line->SetGeometry(0, y, width, 20);
    return line;
}

}  // namespace

void AbortInstallView::Build(InstallDialog* dialog) {
    AddChild(CardLine(kAbortFirstLine, 50, Width()));
    AddChild(CardLine(kAbortSecondLine, 70, Width()));

    auto resume = std::make_unique<TextButton>();
    resume->SetImage(ButtonState::Normal, Art(kArtContinueNormal));
    resume->SetImage(ButtonState::Hover, Art(kArtContinueHover));
    resume->SetImage(ButtonState::Down, Art(kArtContinueDown));
    resume->SetTextStyle(kWhite, 18);
    resume->SetAlignment(TextAlignment::Center);
    resume->SetText(kContinueButtonText, false);
    resume->SetGeometry((Width() - ArtWidth(kArtContinueNormal)) / 2, Height() - ArtHeight(kArtContinueNormal) - 42,
                        ArtWidth(kArtContinueNormal), ArtHeight(kArtContinueNormal));
    resume->SetName(kContinueButtonName);
    resume->Pressed.connect(dialog, &InstallDialog::CloseAbortPage);
    AddChild(std::move(resume));

    auto giveUp = std::make_unique<CustomInstallButton>();
    giveUp->SetTextStyle(CustomInstallButton::kNormalColor, 12);
    giveUp->SetAlignment(TextAlignment::Center);
    giveUp->SetText(kGiveUpText, false);
    const int measured = giveUp->MeasureText().cx;
    giveUp->SetGeometry((Width() - measured) / 2, Height() - 34, measured, 20);
    giveUp->SetName(kGiveUpName);
    giveUp->Pressed.connect(dialog, &InstallDialog::OnAbortConfirmed);
    AddChild(std::move(giveUp));
}

void AbortInstallView::Paint(Gdiplus::Graphics& surface) {
    Gdiplus::SolidBrush card{Gdiplus::Color(kCardWhite)};
    surface.FillRectangle(&card, 0, 0, Width(), Height());
    if (Gdiplus::Image* logo = Art(kArtCardLogo)) surface.DrawImage(logo, kLogoMargin, kLogoMargin);
}

}  // namespace ui
