#pragma once

#include <map>

#include "ui/toolkit/widget.h"

namespace Gdiplus {
class Image;
}

namespace ui {

// A button drawn as one image per state. It shows Hover under the pointer and Down while pressed,
// handles presses and releases unless Disabled, and has no pointer capture: a release over it is a
// click wherever the press happened.
class ImageButton : public Widget {
public:
    // (old state, new state, the button), emitted before the new state is stored.
    sigslot::signal3<int, int, ImageButton*> StateChanged;

    // The image of `state` (not owned; the image cache keeps it); no repaint.
    void SetImage(ButtonState state, Gdiplus::Image* image);
    // Emits StateChanged and repaints, unless the state is already `state`.
    void SetState(ButtonState state);
    ButtonState State() const { return m_state; }

    void Paint(Gdiplus::Graphics& surface) override;
    int32_t OnMouse(MouseAction action, int x, int y) override;

protected:
    bool HasImages() const { return !m_images.empty(); }
    // The current state's image, or null.
    Gdiplus::Image* StateImage() const;
    // Draws the current state's image at (0, 0) at its natural size.
    void PaintStateImage(Gdiplus::Graphics& surface) const;

private:
    ButtonState m_state = ButtonState::Normal;
    std::map<int32_t, Gdiplus::Image*> m_images;
};

}  // namespace ui
