#include "ui/toolkit/graphics.h"

#include "ui/toolkit/gdiplus_include.h"

namespace ui {

namespace {

// Both belong to the UI thread, which starts and stops the graphics.
HINSTANCE g_module = nullptr;
ULONG_PTR g_token = 0;

}  // namespace

bool StartGraphics(HINSTANCE module) {
    g_module = module;
    if (g_token) return true;
    Gdiplus::GdiplusStartupInput input(nullptr, FALSE, FALSE);
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return false;
    g_token = token;
    return true;
}

void StopGraphics() {
    if (!g_token) return;
    Gdiplus::GdiplusShutdown(g_token);
    g_token = 0;
}

HINSTANCE GraphicsModule() {
    return g_module;
}

}  // namespace ui
