#pragma once

#include <cstdarg>
#include <cstdint>
#include <cwchar>
#include <stdio.h>

namespace diag {

// A pointer as the runtime's "%p" writes it: upper-case hexadecimal, as many digits as a pointer
// of this build has (8 or 16). The crash path cannot rely on the printf family agreeing on "%p".
constexpr size_t kPointerTextChars = sizeof(void*) * 2 + 1;

inline void FormatPointer(uintptr_t value, wchar_t (&text)[kPointerTextChars]) {
    constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
    for (int i = static_cast<int>(sizeof(void*) * 2) - 1; i >= 0; --i) {
        text[i] = kDigits[value & 0xF];
        value >>= 4;
    }
    text[sizeof(void*) * 2] = L'\0';
}

// The runtime's wide printf ("%s" takes a wide string) into a fixed buffer; false, with the text
// cut and terminated, when it does not fit.
inline bool FormatText(wchar_t* text, size_t capacity, const wchar_t* format, ...) {
    if (capacity == 0) return false;
    va_list arguments;
    va_start(arguments, format);
    const int written = _vsnwprintf(text, capacity - 1, format, arguments);
    va_end(arguments);
    text[capacity - 1] = L'\0';
    return written >= 0;
}

}  // namespace diag
