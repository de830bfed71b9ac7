#pragma once

#include <windows.h>

// Messages the UI manager posts to the setup window for the engine's reports.
// WM_SETUP_PROGRESS: wParam points to a heap float (the receiver deletes it).
// WM_SETUP_STEP: wParam is the step number.
// WM_SETUP_ERROR: wParam points to an InstallError (the receiver deletes it).
constexpr UINT WM_SETUP_PROGRESS = WM_USER + 1;
constexpr UINT WM_SETUP_STEP = WM_USER + 2;
constexpr UINT WM_SETUP_ERROR = WM_USER + 3;
