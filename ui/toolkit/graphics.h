#pragma once

#include <windows.h>

namespace ui {

// Starts GDI+ for the process (version 1, no debug callback, its background thread and external
// codecs enabled) and remembers `module` as the holder of the art. True when GDI+ started. No
// image, font or drawing surface may exist before the start or after StopGraphics.
bool StartGraphics(HINSTANCE module);
// Shuts GDI+ down; does nothing when it was not started.
void StopGraphics();
// The module given to StartGraphics, or null.
HINSTANCE GraphicsModule();

}  // namespace ui
