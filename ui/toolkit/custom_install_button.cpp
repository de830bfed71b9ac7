#include "ui/toolkit/custom_install_button.h"

#include "ui/toolkit/gdiplus_include.h"

namespace ui {

void CustomInstallButton::Paint(Gdiplus::Graphics& surface) {
    switch (State()) {
        case ButtonState::Normal: StoreColor(kNormalColor); break;
        case ButtonState::Down: StoreColor(kDownColor); break;
        case ButtonState::Hover: StoreColor(kHoverColor); break;
        case ButtonState::Disabled: break;  // keeps whatever colour the page gave it
    }
    PaintText(surface, Color(), Gdiplus::FontStyleRegular);
    if (Gdiplus::Image* icon = StateImage()) {
        const auto iconWidth = static_cast<Gdiplus::REAL>(icon->GetWidth());
        const auto iconHeight = static_cast<Gdiplus::REAL>(icon->GetHeight());
        surface.DrawImage(icon, Width() - iconWidth - 5, (Height() - iconHeight) * 0.5f, iconWidth, iconHeight);
    }
}

}  // namespace ui
