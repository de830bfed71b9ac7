#include "ui/toolkit/text_button.h"

#include "ui/toolkit/gdiplus_include.h"
#include "ui/toolkit/text_font.h"

namespace ui {

const wchar_t TextButton::kFontFamily[] = L"微软雅黑";

namespace {

Gdiplus::StringAlignment StringAlignmentOf(TextAlignment alignment) {
    switch (alignment) {
        case TextAlignment::Near: return Gdiplus::StringAlignmentNear;
        case TextAlignment::Far: return Gdiplus::StringAlignmentFar;
        case TextAlignment::Center: break;
    }
    return Gdiplus::StringAlignmentCenter;
}

}  // namespace

void TextButton::SetText(const std::wstring& text, bool repaint) {
    if (text == m_text) return;
    m_text = text;
    if (repaint) Invalidate();
}

void TextButton::SetTextStyle(Argb colour, int fontSize) {
    m_colour = colour;
    m_nFontSize = fontSize;
}

void TextButton::SetColor(Argb colour) {
    if (colour == m_colour) return;
    m_colour = colour;
    Invalidate();
}

void TextButton::SetUnderline(bool underline) {
    if (underline == m_bUnderline) return;
    m_bUnderline = underline;
    Invalidate();
}

void TextButton::SetBold(bool bold) {
    if (bold == m_bBold) return;
    m_bBold = bold;
    Invalidate();
}

void TextButton::SetAlignment(TextAlignment alignment) {
    if (alignment == m_alignment) return;
    m_alignment = alignment;
    Invalidate();
}

SIZE TextButton::MeasureText() const {
    const TextFont font(m_nFontSize, Gdiplus::FontStyleRegular);
    Gdiplus::StringFormat format;
    format.SetAlignment(StringAlignmentOf(m_alignment));
    Gdiplus::GraphicsPath path;
    Gdiplus::RectF bounds(0, 0, 0, 0);
    if (!m_text.empty() && font.IsValid()) {
        path.AddString(m_text.c_str(), static_cast<INT>(m_text.size()), &font.Family(), Gdiplus::FontStyleRegular,
                       static_cast<Gdiplus::REAL>(m_nFontSize), Gdiplus::RectF(0, 0, 0, 0), &format);
        path.GetBounds(&bounds);
    }
    return SIZE{static_cast<LONG>(bounds.Width + 10), static_cast<LONG>(bounds.Height)};
}

void TextButton::PaintText(Gdiplus::Graphics& surface, Argb colour, int fontStyle) const {
    const TextFont font(m_nFontSize, fontStyle);
    if (!font.IsValid()) return;
    Gdiplus::SolidBrush brush{Gdiplus::Color(colour)};
    Gdiplus::StringFormat format;
    format.SetAlignment(StringAlignmentOf(m_alignment));
    format.SetLineAlignment(Gdiplus::StringAlignmentCenter);
    const Gdiplus::RectF layout(0, 0, static_cast<Gdiplus::REAL>(Width()), static_cast<Gdiplus::REAL>(Height()));
    surface.DrawString(m_text.c_str(), static_cast<INT>(m_text.size()), &font.Font(), layout, &format, &brush);
}

void TextButton::Paint(Gdiplus::Graphics& surface) {
    if (HasImages()) PaintStateImage(surface);
    const int style = (m_bUnderline ? Gdiplus::FontStyleUnderline : 0) | (m_bBold ? Gdiplus::FontStyleBold : 0);
    PaintText(surface, m_colour, style);
}

}  // namespace ui
