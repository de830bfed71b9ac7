#include "ui/toolkit/image_button.h"

#include "ui/toolkit/gdiplus_include.h"

namespace ui {

void ImageButton::SetImage(ButtonState state, Gdiplus::Image* image) {
    m_images[static_cast<int32_t>(state)] = image;
}

void ImageButton::SetState(ButtonState state) {
    if (state == m_state) return;
    StateChanged.emit(static_cast<int>(m_state), static_cast<int>(state), this);
    m_state = state;
    Invalidate();
}

Gdiplus::Image* ImageButton::StateImage() const {
    auto found = m_images.find(static_cast<int32_t>(m_state));
    return found == m_images.end() ? nullptr : found->second;
}

void ImageButton::PaintStateImage(Gdiplus::Graphics& surface) const {
    if (Gdiplus::Image* image = StateImage()) {
        // The explicit size keeps the image unscaled whatever its resolution says.
        surface.DrawImage(image, 0, 0, static_cast<INT>(image->GetWidth()), static_cast<INT>(image->GetHeight()));
    }
}

void ImageButton::Paint(Gdiplus::Graphics& surface) {
    PaintStateImage(surface);
}

int32_t ImageButton::OnMouse(MouseAction action, int x, int y) {
    if (m_state == ButtonState::Disabled) return 0;
    switch (action) {
        case MouseAction::Move:
            SetState(ButtonState::Hover);
            return 0;
        case MouseAction::Press:
            EmitPressed();
            SetState(ButtonState::Down);
            return 1;
        case MouseAction::Release:
            EmitClicked();
            SetState(ButtonState::Normal);
            return 1;
        case MouseAction::Leave:
            SetState(ButtonState::Normal);
            return 0;
    }
    return 0;
}

}  // namespace ui
