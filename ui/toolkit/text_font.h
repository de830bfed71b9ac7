#pragma once

#include <memory>

#include "ui/toolkit/gdiplus_include.h"

namespace ui {

// The font of a text widget at an em size in pixels: the pages' face ("微软雅黑") where it is
// installed, else GDI+'s generic sans-serif, else the first face the system offers for Chinese
// text. Made and released within one paint or measure.
class TextFont {
public:
    TextFont(int emSize, int style);

    // False when no face at all could be found; nothing can be drawn then.
    bool IsValid() const { return m_font && m_font->IsAvailable(); }
    const Gdiplus::FontFamily& Family() const { return *m_family; }
    const Gdiplus::Font& Font() const { return *m_font; }

private:
    std::unique_ptr<Gdiplus::FontFamily> m_owned;
    const Gdiplus::FontFamily* m_family = nullptr;
    std::unique_ptr<Gdiplus::Font> m_font;
};

}  // namespace ui
