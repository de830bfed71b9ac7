#include "diag/cvlog_options.h"

#include <climits>
#include <memory>

#include <windows.h>
#include <shellapi.h>

#include "diag/diag_constants.h"

namespace diag {
namespace {

bool StartsWith(const std::wstring& text, const wchar_t* prefix, std::size_t prefixLength) {
    return text.compare(0, prefixLength, prefix) == 0;
}

bool IsDecimalDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

int HexDigitValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\v' || c == L'\f';
}

// A signed decimal number; a non-number gives 0 and values beyond int are held at its limits.
int ParseLevel(const std::wstring& text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
    long long value = 0;
    for (; i < text.size() && IsDecimalDigit(text[i]); ++i) {
        value = value * 10 + (text[i] - L'0');
        if (value > static_cast<long long>(INT_MAX) + 1) break;
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

// An unsigned decimal, or hexadecimal after "0x"; a non-number gives 0, too large a value is held
// at the 32-bit limit.
std::uint32_t ParseBufferCount(const std::wstring& text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i < text.size() && text[i] == L'+') ++i;
    unsigned base = 10;
    if (i + 1 < text.size() && text[i] == L'0' && (text[i + 1] == L'x' || text[i + 1] == L'X')) {
        base = 16;
        i += 2;
    }
    unsigned long long value = 0;
    for (; i < text.size(); ++i) {
        const int digit = base == 16 ? HexDigitValue(text[i])
                                     : (IsDecimalDigit(text[i]) ? text[i] - L'0' : -1);
        if (digit < 0) break;
        value = value * base + static_cast<unsigned>(digit);
        if (value > 0xFFFFFFFFull) return 0xFFFFFFFFu;
    }
    return static_cast<std::uint32_t>(value);
}

}  // namespace

void ApplyCVLogOption(const std::wstring& argument, CVLogOptions& options) {
    const std::size_t levelPrefix = sizeof(kLogLevelOption) / sizeof(wchar_t) - 1;
    const std::size_t bufferPrefix = sizeof(kLogBufOption) / sizeof(wchar_t) - 1;
    if (argument.size() == 2 && argument[0] == L'/' && IsDecimalDigit(argument[1])) {
        options.levelThreshold = argument[1] - L'0';
    } else if (StartsWith(argument, kLogLevelOption, levelPrefix)) {
        options.levelThreshold = ParseLevel(argument.substr(levelPrefix));
    } else if (StartsWith(argument, kLogBufOption, bufferPrefix)) {
        options.bufferCount = ParseBufferCount(argument.substr(bufferPrefix));
        // A buffer of one record is no buffer: every record goes to the file at once.
        options.buffered = options.bufferCount > 1;
    }
}

CVLogOptions ParseCVLogOptions(const std::vector<std::wstring>& arguments) {
    CVLogOptions options;
    for (const std::wstring& argument : arguments) ApplyCVLogOption(argument, options);
    return options;
}

std::vector<std::wstring> ProcessArguments() {
    std::vector<std::wstring> arguments;
    int count = 0;
    struct LocalFreer {
        void operator()(wchar_t** list) const { LocalFree(list); }
    };
    std::unique_ptr<wchar_t*, LocalFreer> list(CommandLineToArgvW(GetCommandLineW(), &count));
    if (!list) return arguments;
    for (int i = 1; i < count; ++i) arguments.push_back(list.get()[i]);
    return arguments;
}

}  // namespace diag
