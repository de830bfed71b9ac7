#pragma once

#include "ui/toolkit/image_button.h"

namespace ui {

// A check box drawn as one of two images. It flips on the press and reports Clicked on the
// release; it handles every action, so it never shows a hover state and never drags the window.
// A press released beside the box flips it without a click, so whoever acts on the box listens
// to Toggled, which follows what the box shows.
class CheckButton : public ImageButton {
public:
    // Emitted after every change of the value, whatever made it, once the new value is stored.
    sigslot::signal0 Toggled;

    // Both images are kept by the image cache; no repaint.
    void SetImages(Gdiplus::Image* checked, Gdiplus::Image* unchecked);
    bool IsChecked() const { return m_bChecked; }
    // Flips the value, repaints and emits Toggled.
    void Toggle();
    // Toggles unless the value already is `checked`.
    void SetChecked(bool checked);

    void Paint(Gdiplus::Graphics& surface) override;
    int32_t OnMouse(MouseAction action, int x, int y) override;

private:
    bool m_bChecked = true;
    Gdiplus::Image* m_pCheckedImage = nullptr;
    Gdiplus::Image* m_pUncheckedImage = nullptr;
};

}  // namespace ui
