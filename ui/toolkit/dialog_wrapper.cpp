#include "ui/toolkit/dialog_wrapper.h"

#include "diag/win_handle.h"
#include "ui/toolkit/gdiplus_include.h"

namespace ui {

namespace {

// Mouse coordinates are signed 16-bit values: a pointer left of the window arrives as a negative x.
int SignedLow(LPARAM lParam) {
    return static_cast<int16_t>(LOWORD(lParam));
}
int SignedHigh(LPARAM lParam) {
    return static_cast<int16_t>(HIWORD(lParam));
}

}  // namespace

DialogWrapper::DialogWrapper(bool modal) : m_bModal(modal) {}

DialogWrapper::~DialogWrapper() {
    if (!m_hWindow) return;
    WindowMap::Remove(m_hWindow);
    if (!m_bModal && !m_bClosed) DestroyWindow(m_hWindow);
}

bool DialogWrapper::Show(HWND owner, int templateId, HINSTANCE module) {
    m_hOwner = owner;
    m_nTemplateId = templateId;
    m_hModule = module;
    if (m_bModal) return true;
    HWND window = CreateDialogParamW(module, MAKEINTRESOURCEW(templateId), owner, &DialogWrapper::DialogProc,
                                     reinterpret_cast<LPARAM>(this));
    if (window) {
        m_hWindow = window;
        SetHostWindow(window);
    }
    return window != nullptr;
}

INT_PTR DialogWrapper::RunModal() {
    return DialogBoxParamW(m_hModule, MAKEINTRESOURCEW(m_nTemplateId), m_hOwner, &DialogWrapper::DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

void DialogWrapper::ShowNative(int command) {
    if (m_hWindow) ShowWindow(m_hWindow, command);
}

void DialogWrapper::EndModal(int32_t result) {
    if (m_bClosed) return;
    m_bClosed = true;
    EndDialog(m_hWindow, result);
}

void DialogWrapper::DestroyNative() {
    if (m_bClosed) return;
    m_bClosed = true;
    DestroyWindow(m_hWindow);
}

void DialogWrapper::SetTitle(const std::wstring& title) {
    if (title == m_strTitle) return;
    m_strTitle = title;
    if (m_hWindow) SetWindowTextW(m_hWindow, m_strTitle.c_str());
}

INT_PTR CALLBACK DialogWrapper::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* wrapper = reinterpret_cast<DialogWrapper*>(lParam);
        WindowMap::Add(window, wrapper);
        wrapper->m_hWindow = window;
        wrapper->SetHostWindow(window);
        return wrapper->Dispatch(window, message, wParam, lParam);
    }
    // Messages before the initialisation (the font during creation) find no wrapper.
    DialogWrapper* wrapper = WindowMap::Find(window);
    if (!wrapper) return FALSE;
    return wrapper->Dispatch(window, message, wParam, lParam);
}

INT_PTR DialogWrapper::Dispatch(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SIZE:
            SetGeometry(X(), Y(), LOWORD(lParam), HIWORD(lParam));
            return 0;
        case WM_PAINT:
            PaintDoubleBuffered(window);
            return 0;
        case WM_INITDIALOG:
            OnInitDialog();
            return TRUE;
        case WM_ERASEBKGND:
            return 1;  // the paint covers every pixel
        case WM_MOUSEMOVE:
            DispatchMouse(MouseAction::Move, SignedLow(lParam), SignedHigh(lParam));
            return 0;
        case WM_LBUTTONDOWN:
            DispatchMouse(MouseAction::Press, SignedLow(lParam), SignedHigh(lParam));
            return 0;
        case WM_LBUTTONUP:
            DispatchMouse(MouseAction::Release, SignedLow(lParam), SignedHigh(lParam));
            return 0;
        default:
            return HandleMessage(window, message, wParam, lParam);
    }
}

void DialogWrapper::PaintDoubleBuffered(HWND window) {
    PAINTSTRUCT paint;
    HDC windowDc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    {
        // Declared in this order so that the bitmap goes before the memory DC, both before EndPaint.
        diag::ScopedMemoryDc memoryDc(CreateCompatibleDC(windowDc));
        diag::ScopedGdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(windowDc, width, height));
        if (memoryDc.IsValid() && bitmap.IsValid()) {
            diag::ScopedSelectObject selected(memoryDc.Get(), bitmap.Get());
            {
                // GDI+ batches its drawing; the surface is released, and so flushed, before the copy.
                Gdiplus::Graphics surface(memoryDc.Get());
                surface.SetSmoothingMode(Gdiplus::SmoothingModeHighQuality);
                surface.SetInterpolationMode(Gdiplus::InterpolationModeHighQuality);
                surface.SetCompositingQuality(Gdiplus::CompositingQualityHighQuality);
                PaintTree(surface);
            }
            BitBlt(windowDc, client.left, client.top, width, height, memoryDc.Get(), 0, 0, SRCCOPY);
        }
    }
    EndPaint(window, &paint);
}

}  // namespace ui
