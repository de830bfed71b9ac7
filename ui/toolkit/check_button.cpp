#include "ui/toolkit/check_button.h"

#include "ui/toolkit/gdiplus_include.h"

namespace ui {

void CheckButton::SetImages(Gdiplus::Image* checked, Gdiplus::Image* unchecked) {
    m_pCheckedImage = checked;
    m_pUncheckedImage = unchecked;
}

void CheckButton::Toggle() {
    m_bChecked = !m_bChecked;
    Invalidate();
}

void CheckButton::Paint(Gdiplus::Graphics& surface) {
    Gdiplus::Image* image = m_bChecked ? m_pCheckedImage : m_pUncheckedImage;
    if (image) surface.DrawImage(image, 0, 0, static_cast<INT>(image->GetWidth()), static_cast<INT>(image->GetHeight()));
}

int32_t CheckButton::OnMouse(MouseAction action, int x, int y) {
    if (action == MouseAction::Press) Toggle();
    // Only Clicked: the pages listen to it, and the value is already flipped.
    else if (action == MouseAction::Release) Clicked.emit();
    return 1;
}

}  // namespace ui
