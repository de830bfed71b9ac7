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
    Toggled.emit();
}

void CheckButton::SetChecked(bool checked) {
    if (checked != m_bChecked) Toggle();
}

void CheckButton::Paint(Gdiplus::Graphics& surface) {
    Gdiplus::Image* image = m_bChecked ? m_pCheckedImage : m_pUncheckedImage;
    if (image) surface.DrawImage(image, 0, 0, static_cast<INT>(image->GetWidth()), static_cast<INT>(image->GetHeight()));
}

int32_t CheckButton::OnMouse(MouseAction action, int x, int y) {
    if (action == MouseAction::Press) Toggle();
    // Only Clicked, and only over the box: the value flipped on the press, and Toggled said so.
    else if (action == MouseAction::Release) Clicked.emit();
    return 1;
}

}  // namespace ui
