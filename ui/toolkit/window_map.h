#pragma once

#include <windows.h>

namespace ui {

class DialogWrapper;

// The process-wide map from a dialog window to its wrapper (not owning), through which the shared
// dialog procedure finds the wrapper of a message.
namespace WindowMap {
// Adds or replaces the entry of `window`.
void Add(HWND window, DialogWrapper* wrapper);
// The wrapper of `window`, or null.
DialogWrapper* Find(HWND window);
void Remove(HWND window);
}  // namespace WindowMap

}  // namespace ui
