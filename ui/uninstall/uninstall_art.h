#pragma once

#include <windows.h>

#include <cstdint>

#include "ui/toolkit/image_cache.h"

namespace Gdiplus {
class Image;
}

namespace ui {

// The uninstall window's art: PNG resources of the program (ids in uninstall_resources.h), with
// the sizes of the shipped pieces. The layout is made from these sizes, so the window keeps its
// shape even when a picture is missing. Must be destroyed while the graphics still run.
class UninstallArt {
public:
    explicit UninstallArt(HINSTANCE module);

    // The decoded picture, or null when the program lacks it (the widget then draws nothing).
    Gdiplus::Image* Image(int32_t id);
    static int Width(int32_t id);
    static int Height(int32_t id);

private:
    ImageCache m_cache;
};

}  // namespace ui
