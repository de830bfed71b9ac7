#include "diag/ansi_text.h"

#include <windows.h>

namespace diag {

namespace {

// The whole of `text` in the ANSI code page with the given WideCharToMultiByte flags.
std::string ConvertToAnsi(const std::wstring& text, DWORD flags, BOOL* usedDefault) {
    if (text.empty()) return std::string();
    const int length = static_cast<int>(text.size());
    const int needed =
        WideCharToMultiByte(CP_ACP, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return std::string();
    std::string result(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(CP_ACP, flags, text.data(), length, &result[0], needed, nullptr,
                        usedDefault);
    return result;
}

}  // namespace

bool WideToAnsiExact(const std::wstring& text, std::string& ansi) {
    ansi.clear();
    if (text.empty()) return true;
    // No best-fit mapping: "ä" must not quietly become "a" and name another file.
    BOOL usedDefault = FALSE;
    ansi = ConvertToAnsi(text, WC_NO_BEST_FIT_CHARS, &usedDefault);
    if (ansi.empty()) return false;
    // The round trip catches what the default-character flag misses (code pages without it).
    return !usedDefault && AnsiToWide(ansi) == text;
}

std::string WideToAnsi(const std::wstring& text) { return ConvertToAnsi(text, 0, nullptr); }

std::wstring AnsiToWide(const std::string& ansi) {
    if (ansi.empty()) return std::wstring();
    const int length = static_cast<int>(ansi.size());
    const int needed = MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, nullptr, 0);
    if (needed <= 0) return std::wstring();
    std::wstring result(static_cast<size_t>(needed), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, &result[0], needed);
    return result;
}

}  // namespace diag
