#include "payload/uninstall_options.h"

#include <windows.h>

#include <shellapi.h>

#include "deploy/deploy_constants.h"

namespace {

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
        if (StartsWithNoCase(argument, deploy::kUninstallerModeOption)) {
            const wchar_t* mode = argument.c_str() + wcslen(deploy::kUninstallerModeOption);
            options.silent = _wcsicmp(mode, deploy::kUninstallerSilentMode) == 0;
        } else if (_wcsicmp(argument.c_str(), kRemoveDataOption) == 0) {
            options.removeData = true;
        }
    }
    LocalFree(arguments);
    return options;
}
