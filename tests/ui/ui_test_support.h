#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <ostream>
#include <vector>

#include "ui/toolkit/gdiplus_include.h"
#include "ui/toolkit/widget.h"

inline bool operator==(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
inline void PrintTo(const RECT& rect, std::ostream* out) {
    *out << "(" << rect.left << "," << rect.top << ")-(" << rect.right << "," << rect.bottom << ")";
}

namespace ui_test {

// Resources of the test program (ui_tests.rc).
constexpr int kSwatchPng = 501;     // 3 x 2: red, green, blue / white, black, white at alpha 128
constexpr int kIconPng = 502;       // 4 x 4, opaque red
constexpr int kBrokenPng = 503;     // type PNG, but not an image
constexpr int kMissingPng = 599;    // no such resource
constexpr int kDialogTemplate = 1007;

// A root widget that can be given a window, as the dialog wrapper gives its own.
class HostedRoot : public ui::Widget {
public:
    using Widget::SetHostWindow;
};

// A real, visible top-level window (a hidden one keeps no update region) that records the system
// commands it receives instead of acting on them: a drag would wait for the button to come up.
// One test at a time has it.
class RecordingWindow {
public:
    RecordingWindow();
    ~RecordingWindow();
    RecordingWindow(const RecordingWindow&) = delete;
    RecordingWindow& operator=(const RecordingWindow&) = delete;

    HWND Handle() const { return m_hWindow; }
    const std::vector<WPARAM>& SystemCommands() const { return m_systemCommands; }
    void ClearSystemCommands() { m_systemCommands.clear(); }
    // The part of the client area waiting to be painted, or an empty rectangle; forgets it.
    RECT TakeUpdateRect();

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:

    HWND m_hWindow = nullptr;
    std::vector<WPARAM> m_systemCommands;
};

// Paints `widget`'s tree into a transparent 32-bit ARGB bitmap of the given size.
std::unique_ptr<Gdiplus::Bitmap> PaintToBitmap(ui::Widget& widget, int width, int height);
// The ARGB value of one pixel.
uint32_t PixelAt(Gdiplus::Bitmap& bitmap, int x, int y);
// True when every channel of the two ARGB values differs by at most `tolerance`.
bool NearColor(uint32_t actual, uint32_t expected, int tolerance = 2);
// The bounding box of the pixels that are not fully transparent, or an empty rectangle.
RECT InkBounds(Gdiplus::Bitmap& bitmap);
// Delivers the messages waiting for this thread.
void PumpMessages();

}  // namespace ui_test
