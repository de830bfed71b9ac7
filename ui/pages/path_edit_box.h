#pragma once

#include <windows.h>

#include <string>

// The location page's path box: a system edit control without a visible border whose single text
// line sits vertically centred with 4-pixel side margins, and which selects all on Ctrl+A.
namespace ui {

inline constexpr int kPathEditId = 77;

// Creates the box as a visible child of `host` at `rect` (host client coordinates) with `text`.
// The box owns its font and releases it when it is destroyed. Null when it cannot be created.
HWND CreatePathEditBox(HWND host, const RECT& rect, const std::wstring& text, HINSTANCE module);

// The box's text, at most 259 characters.
std::wstring PathEditText(HWND box);

}  // namespace ui
