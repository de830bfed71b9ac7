#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "ui/toolkit/widget.h"
#include "ui/toolkit/window_map.h"

namespace ui {

// A native dialog window created from an empty template that is also the root widget of its
// window: it turns the window's size, mouse and paint messages into the widget tree's geometry,
// mouse actions and double-buffered painting, and hands every other message to the page that
// derives from it. One shared dialog procedure finds the wrapper of a window through WindowMap.
class DialogWrapper : public Widget {
public:
    explicit DialogWrapper(bool modal);
    // Forgets the window's map entry; a modeless window that is still open is destroyed.
    ~DialogWrapper() override;

    // Stores the owner, template and module; a modeless wrapper creates its window here and
    // returns whether it exists. A modal one creates nothing (RunModal does) and returns true.
    bool Show(HWND owner, int templateId, HINSTANCE module);
    // Runs the modal dialog; returns when EndModal has been called.
    INT_PTR RunModal();
    void ShowNative(int command);
    // Only the first of EndModal and DestroyNative has an effect.
    virtual void EndModal(int32_t result);
    void DestroyNative();
    // Sets a different title as the window text.
    virtual void SetTitle(const std::wstring& title);

    HWND Window() const { return m_hWindow; }
    bool IsModal() const { return m_bModal; }
    bool IsClosed() const { return m_bClosed; }

protected:
    // Called once the window exists, before it is shown; pages build their widgets here.
    virtual void OnInitDialog() {}
    // Every message the wrapper does not handle itself; returns the dialog procedure's result.
    virtual INT_PTR HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) { return 0; }

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
};

}  // namespace ui
