#include "deploy/ansi_text.h"

#include <windows.h>

#include <vector>

bool WideToAnsi(const std::wstring& text, std::string& ansi) {
    ansi.clear();
    if (text.empty()) return true;
    int length = static_cast<int>(text.size());
    // No best-fit mapping: "ä" must not quietly become "a" and name another file.
    int needed = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), length, nullptr, 0,
                                     nullptr, nullptr);
    if (needed <= 0) return false;
    std::vector<char> buffer(static_cast<size_t>(needed));
    BOOL usedDefault = FALSE;
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), length, buffer.data(), needed,
                        nullptr, &usedDefault);
    ansi.assign(buffer.data(), buffer.size());
    // The round trip catches what the default-character flag misses (code pages without it).
    return !usedDefault && AnsiToWide(ansi) == text;
}

std::wstring AnsiToWide(const std::string& ansi) {
    if (ansi.empty()) return std::wstring();
    int length = static_cast<int>(ansi.size());
    int needed = MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, nullptr, 0);
    if (needed <= 0) return std::wstring();
    std::vector<wchar_t> buffer(static_cast<size_t>(needed));
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, buffer.data(), needed);
    return std::wstring(buffer.data(), buffer.size());
}
