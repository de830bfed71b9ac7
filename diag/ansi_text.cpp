#include "diag/ansi_text.h"

#include <windows.h>

namespace diag {

namespace {

// WideCharToMultiByte refuses its flags and the default-character report for these code pages
// (ERROR_INVALID_FLAGS): UTF-8 and UTF-7, GB18030, the ISO-2022 family and a few others.
bool TakesNoConversionFlags(UINT codePage) {
    if (codePage == CP_ACP) codePage = GetACP();
    return codePage == CP_UTF8 || codePage == CP_UTF7 || codePage == 42 || codePage == 54936 ||
           codePage == 52936 || (codePage >= 50220 && codePage <= 50229) ||
           (codePage >= 57002 && codePage <= 57011);
}

// The whole of `text` in `codePage`. `strict` asks for no best-fit mapping and reports in
// `usedDefault` whether a character had no form, where the code page allows both.
std::string ConvertFromWide(const std::wstring& text, UINT codePage, bool strict, BOOL* usedDefault) {
    if (text.empty()) return std::string();
    DWORD flags = 0;
    if (TakesNoConversionFlags(codePage)) {
        // A lone surrogate has no UTF-8 form; without this flag it would become U+FFFD silently.
        if (strict && (codePage == CP_UTF8 || (codePage == CP_ACP && GetACP() == CP_UTF8)))
            flags = WC_ERR_INVALID_CHARS;
        usedDefault = nullptr;
    } else if (strict) {
        flags = WC_NO_BEST_FIT_CHARS;
    }
    const int length = static_cast<int>(text.size());
    const int needed =
        WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return std::string();
    std::string result(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(codePage, flags, text.data(), length, &result[0], needed, nullptr,
                        usedDefault);
    return result;
}

}  // namespace

bool WideToCodePageExact(const std::wstring& text, unsigned codePage, std::string& narrow) {
    narrow.clear();
    if (text.empty()) return true;
    // No best-fit mapping: "ä" must not quietly become "a" and name another file.
    BOOL usedDefault = FALSE;
    narrow = ConvertFromWide(text, codePage, true, &usedDefault);
    if (narrow.empty()) {
        // A refused strict conversion still leaves the lossy text for callers that only inform.
        narrow = ConvertFromWide(text, codePage, false, nullptr);
        return false;
    }
    // The round trip catches what the default-character report misses (code pages without it).
    return !usedDefault && CodePageToWide(narrow, codePage) == text;
}

bool WideToAnsiExact(const std::wstring& text, std::string& ansi) {
    return WideToCodePageExact(text, CP_ACP, ansi);
}

std::string WideToAnsi(const std::wstring& text) { return ConvertFromWide(text, CP_ACP, false, nullptr); }

std::wstring CodePageToWide(const std::string& narrow, unsigned codePage) {
    if (narrow.empty()) return std::wstring();
    const int length = static_cast<int>(narrow.size());
    const int needed = MultiByteToWideChar(codePage, 0, narrow.data(), length, nullptr, 0);
    if (needed <= 0) return std::wstring();
    std::wstring result(static_cast<size_t>(needed), L'\0');
    MultiByteToWideChar(codePage, 0, narrow.data(), length, &result[0], needed);
    return result;
}

std::wstring AnsiToWide(const std::string& ansi) { return CodePageToWide(ansi, CP_ACP); }

}  // namespace diag
