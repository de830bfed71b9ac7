#pragma once

#include "ui/toolkit/text_button.h"

namespace ui {

// A text link whose colour follows its state, with an optional icon (the state's image) 5 pixels
// from its right edge, vertically centred. Always drawn in the regular style, without a face.
class CustomInstallButton : public TextButton {
public:
    static constexpr Argb kNormalColor = 0xFFA866FF;
    static constexpr Argb kDownColor = 0xFF8B33FF;
    static constexpr Argb kHoverColor = 0xFFB176FF;

    void Paint(Gdiplus::Graphics& surface) override;
};

}  // namespace ui
