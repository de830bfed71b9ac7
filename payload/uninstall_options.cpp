#include "payload/uninstall_options.h"

#include <windows.h>

#include <shellapi.h>

namespace {

constexpr wchar_t kModeOption[] = L"/mode:";
constexpr wchar_t kSilentMode[] = L"noui";
constexpr wchar_t kRemoveDataOption[] = L"/removedata";

bool StartsWithNoCase(const std::wstring& text, const wchar_t* prefix) {
    const size_t length = wcslen(prefix);
    return text.size() >= length && _wcsnicmp(text.c_str(), prefix, length) == 0;
}

}  // namespace

UninstallOptions ParseUninstallOptions(const std::wstring& commandLine) {
    UninstallOptions options;
    int count = 0;
    // An empty line would make CommandLineToArgvW answer with this program's own path.
    LPWSTR* arguments = CommandLineToArgvW(commandLine.empty() ? L"x" : commandLine.c_str(), &count);
    if (arguments == nullptr) return options;
    for (int i = 1; i < count; ++i) {
        const std::wstring argument = arguments[i];
        if (StartsWithNoCase(argument, kModeOption)) {
            options.silent = _wcsicmp(argument.c_str() + wcslen(kModeOption), kSilentMode) == 0;
        } else if (_wcsicmp(argument.c_str(), kRemoveDataOption) == 0) {
            options.removeData = true;
        }
    }
    LocalFree(arguments);
    return options;
}
