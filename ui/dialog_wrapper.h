#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace ui {

// A native dialog window created from an empty template, whose messages reach the page that
// derives from this class. One shared dialog procedure finds the wrapper of a window through the
// window map.
class DialogWrapper {
public:
    explicit DialogWrapper(bool modal);
    DialogWrapper(const DialogWrapper&) = delete;
    DialogWrapper& operator=(const DialogWrapper&) = delete;
    virtual ~DialogWrapper();

    // Stores the owner, template and module; a modeless wrapper creates its window here.
    bool Show(HWND owner, int templateId, HINSTANCE module);
    // Runs the modal dialog; returns when EndModal has been called.
    INT_PTR RunModal();
    void ShowNative(int command);
    // Only the first of EndModal and DestroyNative has an effect.
    virtual void EndModal(int32_t result);
    void DestroyNative();
    virtual void SetTitle(const std::wstring& title);

    HWND Window() const { return m_hWindow; }
    bool IsModal() const { return m_bModal; }
    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }

protected:
    // Called once the window exists, before it is shown; pages build their widgets here.
    virtual void OnInitDialog() {}
    // Every message the wrapper does not handle itself; returns the dialog procedure's result.
    virtual INT_PTR HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) { return 0; }
    // Paints the page onto an off-screen surface the size of the client area.
    virtual void PaintSurface(HDC surface, const RECT& client) {}
    enum class MouseAction { Move, Press, Release };
    virtual void DispatchMouse(MouseAction action, int x, int y) {}

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void PaintDoubleBuffered(HWND window);

    HWND m_hWindow = nullptr;
    const bool m_bModal;
    HINSTANCE m_hModule = nullptr;
    int m_nTemplateId = 0;
    HWND m_hOwner = nullptr;
    std::wstring m_strTitle;
    bool m_bClosed = false;
    int m_nWidth = 0;
    int m_nHeight = 0;
};

// The process-wide map from window handle to its wrapper (not owning).
namespace WindowMap {
void Add(HWND window, DialogWrapper* wrapper);
DialogWrapper* Find(HWND window);
void Remove(HWND window);
}  // namespace WindowMap

}  // namespace ui
