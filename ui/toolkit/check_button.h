#pragma once

#include "ui/toolkit/image_button.h"

namespace ui {

// A check box drawn as one of two images. It flips on the press and reports Clicked on the
// release; it handles every action, so it never shows a hover state and never drags the window.
class CheckButton : public ImageButton {
public:
    // Both images are kept by the image cache; no repaint.
    void SetImages(Gdiplus::Image* checked, Gdiplus::Image* unchecked);
    bool IsChecked() const { return m_bChecked; }
    // Flips the value and repaints.
    void Toggle();

    void Paint(Gdiplus::Graphics& surface) override;
    int32_t OnMouse(MouseAction action, int x, int y) override;

private:
    bool m_bChecked = true;
    Gdiplus::Image* m_pCheckedImage = nullptr;
    Gdiplus::Image* m_pUncheckedImage = nullptr;
};

}  // namespace ui
