#include "ui/dialog_wrapper.h"

#include <windowsx.h>

#include <mutex>
#include <unordered_map>

#include "diag/win_handle.h"

namespace ui {

namespace {

std::mutex g_windowMapLock;
std::unordered_map<HWND, DialogWrapper*>& Windows() {
    static std::unordered_map<HWND, DialogWrapper*> windows;
    return windows;
}

}  // namespace

namespace WindowMap {
void Add(HWND window, DialogWrapper* wrapper) {
    std::lock_guard<std::mutex> lock(g_windowMapLock);
    Windows()[window] = wrapper;
}
DialogWrapper* Find(HWND window) {
    std::lock_guard<std::mutex> lock(g_windowMapLock);
    auto found = Windows().find(window);
    return found == Windows().end() ? nullptr : found->second;
}
void Remove(HWND window) {
    std::lock_guard<std::mutex> lock(g_windowMapLock);
    Windows().erase(window);
}
}  // namespace WindowMap

DialogWrapper::DialogWrapper(bool modal) : m_bModal(modal) {}

DialogWrapper::~DialogWrapper() {
    if (m_hWindow) WindowMap::Remove(m_hWindow);
}

bool DialogWrapper::Show(HWND owner, int templateId, HINSTANCE module) {
    m_hOwner = owner;
    m_nTemplateId = templateId;
    m_hModule = module;
    if (m_bModal) return true;
    HWND window = CreateDialogParamW(module, MAKEINTRESOURCEW(templateId), owner, &DialogWrapper::DialogProc,
                                     reinterpret_cast<LPARAM>(this));
    if (window) m_hWindow = window;
    return m_hWindow != nullptr;
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
        return wrapper->Dispatch(window, message, wParam, lParam);
    }
    DialogWrapper* wrapper = WindowMap::Find(window);
    if (!wrapper) return FALSE;
    return wrapper->Dispatch(window, message, wParam, lParam);
}

INT_PTR DialogWrapper::Dispatch(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // Mouse coordinates are signed: a pointer left of the window arrives as a negative x.
    const int x = GET_X_LPARAM(lParam);
    const int y = GET_Y_LPARAM(lParam);
    switch (message) {
        case WM_SIZE:
            m_nWidth = LOWORD(lParam);
            m_nHeight = HIWORD(lParam);
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
            DispatchMouse(MouseAction::Move, x, y);
            return 0;
        case WM_LBUTTONDOWN:
            DispatchMouse(MouseAction::Press, x, y);
            return 0;
        case WM_LBUTTONUP:
            DispatchMouse(MouseAction::Release, x, y);
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
            PaintSurface(memoryDc.Get(), client);
            BitBlt(windowDc, client.left, client.top, width, height, memoryDc.Get(), 0, 0, SRCCOPY);
        }
    }
    EndPaint(window, &paint);
}

}  // namespace ui
