#pragma once

#include <string>

// printf-style formatting into a wide string (Microsoft conventions: "%s" is a wide string).
// The buffer grows as needed, so nothing is cut off.
std::wstring FormatText(const wchar_t* format, ...);
