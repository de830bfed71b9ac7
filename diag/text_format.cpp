#include "diag/text_format.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

std::wstring FormatText(const wchar_t* format, ...) {
    // 32K characters is the longest path Windows knows; nothing formatted here is longer.
    for (size_t capacity = 512; capacity <= 32768; capacity *= 2) {
        std::vector<wchar_t> buffer(capacity);
        va_list args;
        va_start(args, format);
        int written = _vsnwprintf(buffer.data(), capacity - 1, format, args);
        va_end(args);
        if (written >= 0) {
            buffer[static_cast<size_t>(written)] = L'\0';
            return std::wstring(buffer.data(), static_cast<size_t>(written));
        }
    }
    return std::wstring();
}
