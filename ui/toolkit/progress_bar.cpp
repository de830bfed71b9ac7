#include "ui/toolkit/progress_bar.h"

#include "ui/toolkit/gdiplus_include.h"

namespace ui {

void ProgressBar::SetValue(int value, bool repaint) {
    if (value == m_nValue) return;
    m_nValue = value;
    if (repaint) Invalidate();
}

void ProgressBar::Paint(Gdiplus::Graphics& surface) {
    // A value outside 0..100 would paint beyond the bar, which nothing clips.
    const int filled = std::clamp(static_cast<int>(m_nValue / 100.0 * Width()), 0, Width());
    if (m_nValue != 100) {
        Gdiplus::SolidBrush track{Gdiplus::Color(kTrackColor)};
        surface.FillRectangle(&track, filled, 0, Width() - filled, Height());
    }
    // A gradient needs two distinct points.
    if (m_nValue != 0 && filled > 0) {
        Gdiplus::LinearGradientBrush gradient(Gdiplus::PointF(0, 2), Gdiplus::PointF(static_cast<Gdiplus::REAL>(filled), 2),
                                              Gdiplus::Color(kGradientStartColor), Gdiplus::Color(kGradientEndColor));
        gradient.SetWrapMode(Gdiplus::WrapModeTile);
        surface.FillRectangle(&gradient, 0, 0, filled, Height());
    }
}

}  // namespace ui
