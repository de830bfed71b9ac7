#include "ui/page_options.h"

#include <windows.h>

#include "deploy/deploy_constants.h"
#include "deploy/file_system.h"
#include "deploy/install_paths.h"
#include "deploy/removal_constants.h"
#include "diag/install_log.h"
#include "diag/win_handle.h"
#include "ui/setup_texts.h"

namespace {

struct OptionValue {
    const wchar_t* name;
    int32_t PageOptions::*field;
};

// The installed client's, in the order they are read and written.
constexpr OptionValue kClientOptionValues[] = {
    {ui::kOptionShortcutDesktop, &PageOptions::nShortcutDesktop},
    {ui::kOptionShortcutQuickLaunch, &PageOptions::nShortcutQuickLaunch},
    {ui::kOptionRunExe, &PageOptions::nRunExe},
    {ui::kOptionShowNewFeature, &PageOptions::nShowNewFeature},
    {ui::kOptionStartRunExe, &PageOptions::nStartRunExe},
};
constexpr OptionValue kSetupQuickLaunchValue = {ui::kOptionSetupQuickLaunch, &PageOptions::nSetupQuickLaunch};

bool OpenForReading(HKEY root, diag::ScopedRegKey& key) {
    return RegOpenKeyExW(root, deploy::kProductKey, 0, KEY_READ, key.Receive()) == ERROR_SUCCESS;
}

// Reads one value into its field; a missing value, or one that is no number, keeps the field.
void ReadOption(HKEY key, const OptionValue& value, PageOptions& options) {
    DWORD type = REG_NONE;
    DWORD data = 0;
    DWORD size = sizeof(data);
    // Only a number counts: the bytes of a text value are not an option.
    const LONG status = RegQueryValueExW(key, value.name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
    if (status == ERROR_SUCCESS && type == REG_DWORD && size == sizeof(data)) {
        options.*value.field = static_cast<int32_t>(data);
    }
}

bool WriteOption(HKEY key, const OptionValue& value, const PageOptions& options) {
    const DWORD data = static_cast<DWORD>(options.*value.field);
    const LONG written =
        RegSetValueExW(key, value.name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof(data));
    if (written == ERROR_SUCCESS) return true;
    InstallLog::Format(ui::kLogOptionValueFailed, value.name, written);
    return false;
}

}  // namespace

PageOptions LoadPageOptions() {
    PageOptions options;
    diag::ScopedRegKey key;
    if (OpenForReading(HKEY_CURRENT_USER, key)) {
        // The setup's own value is the user's alone: under the machine it is nobody's choice.
        ReadOption(key.Get(), kSetupQuickLaunchValue, options);
    } else if (!OpenForReading(HKEY_LOCAL_MACHINE, key)) {
        return options;
    }
    for (const OptionValue& value : kClientOptionValues) ReadOption(key.Get(), value, options);
    return options;
}

bool SavePageOptions(const PageOptions& options) {
    const std::wstring miscFolder = MiscFolder();
    if (miscFolder.empty() || !CreateFolderPath(miscFolder)) {
        InstallLog::Format(ui::kLogOptionsFolderFailed, miscFolder.c_str());
        return false;
    }
    bool saved = true;
    const std::wstring iniPath = miscFolder + L"\\" + deploy::kOptionsFileName;
    if (!WritePrivateProfileStringW(deploy::kOptionsSection, deploy::kOptionsKey, ui::kOptionsFirstLoginValue,
                                    iniPath.c_str())) {
        InstallLog::Format(ui::kLogOptionsFileFailed, iniPath.c_str(), GetLastError());
        saved = false;
    }
    diag::ScopedRegKey key;
    const LONG opened = RegCreateKeyExW(HKEY_CURRENT_USER, deploy::kProductKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                        key.Receive(), nullptr);
    if (opened != ERROR_SUCCESS) {
        InstallLog::Format(ui::kLogOptionsKeyFailed, opened);
        return false;
    }
    for (const OptionValue& value : kClientOptionValues) saved = WriteOption(key.Get(), value, options) && saved;
    return WriteOption(key.Get(), kSetupQuickLaunchValue, options) && saved;
}
