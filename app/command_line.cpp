#include "app/command_line.h"

#include <windows.h>
#include <shellapi.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cwctype>
#include <memory>

#include "deploy/install_paths.h"

namespace {

std::wstring Lowered(const std::wstring& text) {
    std::wstring lowered(text);
    for (wchar_t& c : lowered) c = static_cast<wchar_t>(towlower(c));
    return lowered;
}

std::wstring Trimmed(const std::wstring& text) {
    size_t first = 0, last = text.size();
    while (first < last && iswspace(text[first])) ++first;
    while (last > first && iswspace(text[last - 1])) --last;
    return text.substr(first, last - first);
}

// Standard string-to-integer rules: leading blanks and a sign, trailing text ignored. A value that
// is not a number, or out of range, counts as -1.
long SilentValue(const std::wstring& text) {
    const wchar_t* begin = text.c_str();
    wchar_t* end = nullptr;
    errno = 0;
    long value = wcstol(begin, &end, 10);
    if (end == begin || errno == ERANGE) return -1;
    return value;
}

struct LocalFreeDeleter {
    void operator()(wchar_t** argv) const { LocalFree(argv); }
};

}  // namespace

SetupMode ParseMode(const std::wstring& keyword) {
    std::wstring lowered = Lowered(keyword);
    if (lowered == L"fast") return SetupMode::Fast;
    if (lowered == L"noui") return SetupMode::NoUi;
    return SetupMode::Normal;
}

void ApplyOption(CommandLineOptions& options, const std::wstring& key, const std::wstring& value) {
    const std::wstring name = Lowered(key);
    if (name == L"silent") {
        // Only the value 1 means anything: the fast mode, not the hidden one.
        if (SilentValue(value) == 1) options.m_mode = SetupMode::Fast;
    } else if (name == L"src") {
        options.m_strSourceTag = value;
    } else if (name == L"mode") {
        options.m_mode = ParseMode(value);
    } else if (name == L"uin") {
        options.m_strUserId = value;
    } else if (name == L"install_dir") {
        std::wstring folder = Trimmed(value);
        if (IsValidInstallPath(folder)) {
            // "D:\Apps\" names D:\Apps; the folder is kept in one spelling.
            if (folder.back() == L'\\') folder.pop_back();
            options.m_strInstallFolder = folder;
        }
    } else if (name == L"auto_start") {
        std::wstring lowered = Lowered(value);
        if (lowered == L"false") options.m_nAutoStart = CommandLineOptions::kAutoStartFalse;
        else if (lowered == L"true") options.m_nAutoStart = CommandLineOptions::kAutoStartTrue;
    } else if (name == L"lt") {
        options.m_strLt = value;
    } else if (name == L"startargs") {
        options.m_strStartArguments = value;
    }
}

void ParseArguments(CommandLineOptions& options, int argc, const wchar_t* const* argv) {
    for (int i = 1; i < argc; ++i) {
        const std::wstring argument = argv[i] ? argv[i] : L"";
        if (argument.empty() || argument[0] != L'/') continue;
        // The name runs to the first colon; later colons belong to the value ("/install_dir:D:\x").
        const size_t colon = argument.find(L':');
        if (colon == std::wstring::npos) continue;
        std::wstring name = argument.substr(1, colon - 1);
        std::wstring value = argument.substr(colon + 1);
        if (name.empty() || value.empty()) continue;
        ApplyOption(options, name, value);
    }
}

void ParseCommandLine(CommandLineOptions& options) {
    int argc = 0;
    std::unique_ptr<wchar_t*, LocalFreeDeleter> argv(CommandLineToArgvW(GetCommandLineW(), &argc));
    if (!argv) return;
    ParseArguments(options, argc, argv.get());
}
