#include "ui/pages/path_edit_box.h"

#include "diag/win_handle.h"
#include "ui/pages/page_texts.h"

namespace ui {

namespace {

constexpr wchar_t kOldProcProperty[] = L"PeloraPathBoxProc";
constexpr wchar_t kFontProperty[] = L"PeloraPathBoxFont";
constexpr wchar_t kLineHeightProperty[] = L"PeloraPathBoxLineHeight";
// The height of the text line until the box's font is known.
constexpr int kDefaultLineHeight = 16;
constexpr int kSideMargin = 4;
constexpr int kFontHeight = 20;
constexpr int kMaxPathText = 259;

LRESULT PassOn(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
    auto old = reinterpret_cast<WNDPROC>(GetPropW(box, kOldProcProperty));
    return old ? CallWindowProcW(old, box, message, wParam, lParam) : DefWindowProcW(box, message, wParam, lParam);
}

// Paints the frame (window rectangle minus client rectangle) in the window colour, so the box
// shows no border: the dialog's text colour and this background are all the user sees.
void PaintFlatFrame(HWND box) {
    RECT window = {};
    RECT client = {};
    GetWindowRect(box, &window);
    GetClientRect(box, &client);
    MapWindowPoints(box, nullptr, reinterpret_cast<POINT*>(&client), 2);
    OffsetRect(&client, -window.left, -window.top);
    OffsetRect(&window, -window.left, -window.top);
    HDC dc = GetWindowDC(box);
    if (!dc) return;
    diag::ScopedGdiObject<HRGN> frame(CreateRectRgnIndirect(&window));
    diag::ScopedGdiObject<HRGN> inner(CreateRectRgnIndirect(&client));
    CombineRgn(frame.Get(), frame.Get(), inner.Get(), RGN_DIFF);
    SelectClipRgn(dc, frame.Get());
    FillRect(dc, &window, GetSysColorBrush(COLOR_WINDOW));
    SelectClipRgn(dc, nullptr);
    ReleaseDC(box, dc);
}

LRESULT CALLBACK EditBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_KEYDOWN:
            if (wParam == 'A' && (GetKeyState(VK_CONTROL) & 0x8000)) SendMessageW(box, EM_SETSEL, 0, -1);
            break;
        case WM_NCCALCSIZE: {
            // The padding is taken from the proposed rectangle (the box's own height): taken from
            // the current client area it would alternate between two sizes on every recalculation.
            auto* proposed = reinterpret_cast<RECT*>(lParam);
            const auto measured = reinterpret_cast<INT_PTR>(GetPropW(box, kLineHeightProperty));
            const int lineHeight = measured > 0 ? static_cast<int>(measured) : kDefaultLineHeight;
            const int pad = (proposed->bottom - proposed->top - lineHeight) / 2;
            proposed->left += kSideMargin;
            proposed->top += pad;
            proposed->right -= kSideMargin;
            proposed->bottom -= pad;
            return 1;
        }
        case WM_NCPAINT:
            PassOn(box, message, wParam, lParam);
            PaintFlatFrame(box);
            return 0;
        case WM_NCDESTROY: {
            const LRESULT result = PassOn(box, message, wParam, lParam);
            RemovePropW(box, kOldProcProperty);
            RemovePropW(box, kLineHeightProperty);
            diag::ScopedGdiObject<HFONT> font(static_cast<HFONT>(RemovePropW(box, kFontProperty)));
            return result;
        }
        default:
            break;
    }
    return PassOn(box, message, wParam, lParam);
}

}  // namespace

HWND CreatePathEditBox(HWND host, const RECT& rect, const std::wstring& text, HINSTANCE module) {
    HWND box = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", text.c_str(), WS_CHILD | WS_VISIBLE, rect.left, rect.top,
                               rect.right - rect.left, rect.bottom - rect.top, host,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(kPathEditId)), module, nullptr);
    if (!box) return nullptr;
    SetPropW(box, kOldProcProperty, reinterpret_cast<HANDLE>(GetWindowLongPtrW(box, GWLP_WNDPROC)));
    SetWindowLongPtrW(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&EditBoxProc));
    LOGFONTW description = {};
    description.lfHeight = kFontHeight;
    lstrcpynW(description.lfFaceName, kPathBoxFont, LF_FACESIZE);
    if (HFONT font = CreateFontIndirectW(&description)) {
        SetPropW(box, kFontProperty, font);
        SendMessageW(box, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        // The line is centred by the font's real height: a 20-pixel font in a 16-pixel line
        // would lose the bottom of its letters.
        if (HDC dc = GetDC(box)) {
            diag::ScopedSelectObject selected(dc, font);
            TEXTMETRICW metrics = {};
            if (GetTextMetricsW(dc, &metrics)) SetPropW(box, kLineHeightProperty, reinterpret_cast<HANDLE>(
                                                            static_cast<INT_PTR>(metrics.tmHeight)));
            ReleaseDC(box, dc);
        }
    }
    // The new frame takes effect only when the system asks for it again.
    SetWindowPos(box, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    return box;
}

std::wstring PathEditText(HWND box) {
    wchar_t buffer[kMaxPathText + 1] = {};
    GetWindowTextW(box, buffer, kMaxPathText + 1);
    return buffer;
}

}  // namespace ui
