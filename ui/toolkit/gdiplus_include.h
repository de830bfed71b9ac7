#pragma once

// The one way into GDI+. Its headers call bare min and max, which NOMINMAX (set for the whole
// build) takes away from windows.h; they also need the COM types that the lean Windows headers
// leave out.
#include <windows.h>

#include <objidl.h>

#include <algorithm>

namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus

#include <gdiplus.h>
