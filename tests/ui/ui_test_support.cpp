#include "ui_test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "ui/toolkit/graphics.h"

namespace ui_test {

namespace {

constexpr wchar_t kWindowClass[] = L"PeloraUiTestWindow";

// GDI+ runs for the whole test program, as it does for the setup window's life.
class GraphicsEnvironment : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_TRUE(ui::StartGraphics(GetModuleHandleW(nullptr))); }
    void TearDown() override { ui::StopGraphics(); }
};

::testing::Environment* const g_graphics = ::testing::AddGlobalTestEnvironment(new GraphicsEnvironment);

}  // namespace

namespace {

// One window serves every test: Wine waits for the X server each time a visible window goes
// away, which would add seconds to every test.
HWND SharedWindow() {
    static const HWND window = [] {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = &RecordingWindow::WindowProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kWindowClass;
        RegisterClassW(&windowClass);
        return CreateWindowExW(0, kWindowClass, L"", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    }();
    return window;
}

}  // namespace

RecordingWindow::RecordingWindow() : m_hWindow(SharedWindow()) {
    EXPECT_NE(nullptr, m_hWindow);
    SetWindowLongPtrW(m_hWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ValidateRect(m_hWindow, nullptr);
}

RecordingWindow::~RecordingWindow() {
    SetWindowLongPtrW(m_hWindow, GWLP_USERDATA, 0);
}

RECT RecordingWindow::TakeUpdateRect() {
    RECT update = {0, 0, 0, 0};
    if (!GetUpdateRect(m_hWindow, &update, FALSE)) update = RECT{0, 0, 0, 0};
    ValidateRect(m_hWindow, nullptr);
    return update;
}

LRESULT CALLBACK RecordingWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<RecordingWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_SYSCOMMAND && self) {
        self->m_systemCommands.push_back(wParam);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

std::unique_ptr<Gdiplus::Bitmap> PaintToBitmap(ui::Widget& widget, int width, int height) {
    auto bitmap = std::make_unique<Gdiplus::Bitmap>(width, height, PixelFormat32bppARGB);
    Gdiplus::Graphics surface(bitmap.get());
    surface.Clear(Gdiplus::Color(0, 0, 0, 0));
    widget.PaintTree(surface);
    surface.Flush(Gdiplus::FlushIntentionSync);
    return bitmap;
}

uint32_t PixelAt(Gdiplus::Bitmap& bitmap, int x, int y) {
    Gdiplus::Color colour;
    bitmap.GetPixel(x, y, &colour);
    return colour.GetValue();
}

bool NearColor(uint32_t actual, uint32_t expected, int tolerance) {
    for (int shift = 0; shift < 32; shift += 8) {
        const int a = static_cast<int>((actual >> shift) & 0xFF);
        const int e = static_cast<int>((expected >> shift) & 0xFF);
        if (std::abs(a - e) > tolerance) return false;
    }
    return true;
}

RECT InkBounds(Gdiplus::Bitmap& bitmap) {
    RECT bounds = {LONG_MAX, LONG_MAX, LONG_MIN, LONG_MIN};
    const int width = static_cast<int>(bitmap.GetWidth());
    const int height = static_cast<int>(bitmap.GetHeight());
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if ((PixelAt(bitmap, x, y) >> 24) == 0) continue;
            bounds.left = std::min<LONG>(bounds.left, x);
            bounds.top = std::min<LONG>(bounds.top, y);
            bounds.right = std::max<LONG>(bounds.right, x + 1);
            bounds.bottom = std::max<LONG>(bounds.bottom, y + 1);
        }
    }
    if (bounds.left == LONG_MAX) return RECT{0, 0, 0, 0};
    return bounds;
}

void PumpMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

}  // namespace ui_test
