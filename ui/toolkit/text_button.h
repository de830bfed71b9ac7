#pragma once

#include <string>

#include "ui/toolkit/image_button.h"

namespace ui {

// Text colours are ARGB words: alpha << 24 | red << 16 | green << 8 | blue.
using Argb = uint32_t;

// How a text sits in its widget horizontally.
enum class TextAlignment : int32_t { Near = 0, Center = 1, Far = 2 };

// A text, optionally on an image button face, drawn in the widget's rectangle and centred
// vertically. With no images it serves as a label; either way it handles presses like a button.
class TextButton : public ImageButton {
public:
    // The face the texts are drawn in where it is installed (see TextFont for the fallbacks).
    static const wchar_t kFontFamily[];

    // Stores a different text and, when `repaint`, repaints.
    void SetText(const std::wstring& text, bool repaint = true);
    // Colour and em size in pixels; no repaint.
    void SetTextStyle(Argb colour, int fontSize);
    // Each repaints only when the value changes.
    void SetColor(Argb colour);
    void SetUnderline(bool underline);
    void SetBold(bool bold);
    void SetAlignment(TextAlignment alignment);

    const std::wstring& Text() const { return m_text; }
    Argb Color() const { return m_colour; }
    int FontSize() const { return m_nFontSize; }
    bool IsUnderlined() const { return m_bUnderline; }

    // The size the text takes in the regular style, plus 10 pixels of width; (10, 0) when empty.
    SIZE MeasureText() const;

    void Paint(Gdiplus::Graphics& surface) override;

protected:
    // Draws the text in (0, 0, width, height) with the given colour and GDI+ font style bits.
    void PaintText(Gdiplus::Graphics& surface, Argb colour, int fontStyle) const;
    // For a subclass that picks the colour while painting; no repaint.
    void StoreColor(Argb colour) { m_colour = colour; }

private:
    std::wstring m_text;
    bool m_bUnderline = false;
    bool m_bBold = false;
    int m_nFontSize = 11;
    TextAlignment m_alignment = TextAlignment::Center;
    Argb m_colour = 0xFF000000;
};

}  // namespace ui
