#pragma once

#include "ui/toolkit/widget.h"

namespace ui {

// A horizontal bar: a half-transparent white track, filled from the left with a blue-to-pink
// gradient that always spans the filled part. It takes no presses, so a press on it drags the
// window.
class ProgressBar : public Widget {
public:
    static constexpr uint32_t kTrackColor = 0x7FFFFFFF;
    static constexpr uint32_t kGradientStartColor = 0xFF6E6CFF;
    static constexpr uint32_t kGradientEndColor = 0xFFFF42A2;

    // A percentage from 0 to 100; a different value is stored and, when `repaint`, repainted.
    void SetValue(int value, bool repaint = true);
    int Value() const { return m_nValue; }

    void Paint(Gdiplus::Graphics& surface) override;

private:
    int m_nValue = 0;
};

}  // namespace ui
