#include "ui/toolkit/text_font.h"

#include <string>

#include "ui/toolkit/text_button.h"

namespace ui {

namespace {

int CALLBACK TakeFirstFace(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM found) {
    // Faces named with '@' are the vertical variants.
    if (font->lfFaceName[0] == L'@') return 1;
    *reinterpret_cast<std::wstring*>(found) = font->lfFaceName;
    return 0;
}

// A system without the pages' face and without a generic sans-serif (a bare Wine) still has a
// face for Chinese text; its name is looked up once.
const std::wstring& ChineseFaceName() {
    static const std::wstring name = [] {
        std::wstring found;
        LOGFONTW wanted = {};
        wanted.lfCharSet = GB2312_CHARSET;
        if (HDC screen = GetDC(nullptr)) {
            EnumFontFamiliesExW(screen, &wanted, &TakeFirstFace, reinterpret_cast<LPARAM>(&found), 0);
            ReleaseDC(nullptr, screen);
        }
        return found;
    }();
    return name;
}

}  // namespace

TextFont::TextFont(int emSize, int style) {
    m_owned = std::make_unique<Gdiplus::FontFamily>(TextButton::kFontFamily);
    if (m_owned->IsAvailable()) {
        m_family = m_owned.get();
    } else if (const Gdiplus::FontFamily* generic = Gdiplus::FontFamily::GenericSansSerif();
               generic && generic->IsAvailable()) {
        m_family = generic;
    } else if (!ChineseFaceName().empty()) {
        m_owned = std::make_unique<Gdiplus::FontFamily>(ChineseFaceName().c_str());
        if (m_owned->IsAvailable()) m_family = m_owned.get();
    }
    if (m_family) {
        m_font = std::make_unique<Gdiplus::Font>(m_family, static_cast<Gdiplus::REAL>(emSize), style, Gdiplus::UnitPixel);
    }
}

}  // namespace ui
