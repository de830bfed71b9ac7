#include "tools/console_text.h"

#include <cwchar>

namespace tools {

namespace {

void WriteTo(DWORD which, const std::wstring& text) {
    const std::string bytes = ToUtf8(text);
    HANDLE stream = GetStdHandle(which);
    if (stream == nullptr || stream == INVALID_HANDLE_VALUE || bytes.empty()) return;
    DWORD written = 0;
    WriteFile(stream, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    FlushFileBuffers(stream);
}

}  // namespace

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string bytes(length > 0 ? length : 0, '\0');
    if (length > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0],
                            length, nullptr, nullptr);
    }
    return bytes;
}

void WriteOut(const std::wstring& text) { WriteTo(STD_OUTPUT_HANDLE, text); }
void WriteErr(const std::wstring& text) { WriteTo(STD_ERROR_HANDLE, text); }

bool MatchOption(const wchar_t* argument, const wchar_t* name, std::wstring* value) {
    const size_t length = wcslen(name);
    if (wcsncmp(argument, name, length) != 0) return false;
    if (argument[length] == L'\0') {
        value->clear();
        return true;
    }
    if (argument[length] != L'=') return false;
    value->assign(argument + length + 1);
    return true;
}

bool MatchHoldOption(const wchar_t* argument, HoldTime* hold) {
    std::wstring value;
    if (MatchOption(argument, L"--until-file", &value)) {
        hold->untilFile = value;
        return true;
    }
    if (MatchOption(argument, L"--seconds", &value)) {
        hold->seconds = static_cast<DWORD>(wcstoul(value.c_str(), nullptr, 10));
        return true;
    }
    return false;
}

void WaitForRelease(const HoldTime& hold) {
    const DWORD seconds = hold.untilFile.empty() && hold.seconds == 0 ? 60 : hold.seconds;
    const ULONGLONG deadline = seconds ? GetTickCount64() + seconds * 1000ULL : 0;
    for (;;) {
        if (!hold.untilFile.empty() && GetFileAttributesW(hold.untilFile.c_str()) != INVALID_FILE_ATTRIBUTES) return;
        if (deadline && GetTickCount64() >= deadline) return;
        Sleep(50);
    }
}

std::wstring JsonQuote(const std::wstring& text) {
    std::wstring quoted = L"\"";
    for (wchar_t c : text) {
        switch (c) {
            case L'"': quoted += L"\\\""; break;
            case L'\\': quoted += L"\\\\"; break;
            case L'\n': quoted += L"\\n"; break;
            case L'\r': quoted += L"\\r"; break;
            case L'\t': quoted += L"\\t"; break;
            default:
                if (c < 0x20) {
                    wchar_t escape[8];
                    _snwprintf(escape, 8, L"\\u%04x", static_cast<unsigned>(c));
                    escape[7] = L'\0';
                    quoted += escape;
                } else {
                    quoted += c;
                }
        }
    }
    quoted += L'"';
    return quoted;
}

std::wstring Decimal(long long value) {
    wchar_t text[32];
    _snwprintf(text, 32, L"%I64d", value);
    text[31] = L'\0';
    return text;
}

}  // namespace tools
