#include "deploy/install_paths.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cwctype>
#include <vector>

#include "deploy/deploy_constants.h"
#include "diag/win_handle.h"
#include "diag/windows_version.h"

namespace {

// appData + suffix, or empty when the application-data folder is unknown.
std::wstring BelowAppData(const wchar_t* suffix) {
    std::wstring appData = AppDataFolder();
    return appData.empty() ? std::wstring() : appData + suffix;
}

bool IsAllDigits(const wchar_t* name) {
    if (*name == L'\0') return false;
    for (; *name != L'\0'; ++name) {
        if (*name < L'0' || *name > L'9') return false;
    }
    return true;
}

}  // namespace

std::wstring SpecialFolder(int csidl) {
    diag::ScopedItemIdList list;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, list.Receive())) || list.Get() == nullptr)
        return std::wstring();
    wchar_t path[MAX_PATH] = {};
    if (!SHGetPathFromIDListW(list.Get(), path)) return std::wstring();
    return path;
}

std::wstring AppDataFolder() { return SpecialFolder(CSIDL_APPDATA); }
std::wstring DefaultProductRoot() { return BelowAppData(deploy::kDefaultProductRootRelative); }
std::wstring MiscFolder() { return BelowAppData(deploy::kMiscFolderRelative); }
std::wstring ProgramsFolder() { return BelowAppData(deploy::kProgramsFolderRelative); }
std::wstring UpdateFolder() { return BelowAppData(deploy::kUpdateFolderRelative); }
std::wstring InstallLogPath() { return BelowAppData(deploy::kInstallLogRelative); }
std::wstring StagingRootFolder() { return BelowAppData(deploy::kStagingRootRelative); }
std::wstring QuickLaunchFolder() { return BelowAppData(deploy::kQuickLaunchRelative); }

std::wstring UpdateTempFolder() {
    std::wstring appData = AppDataFolder();
    return appData.empty() ? std::wstring() : JoinPath(appData, deploy::kUpdateTempFolderRelative);
}

std::wstring DesktopFolder() { return SpecialFolder(CSIDL_DESKTOP); }
std::wstring ProgramsMenuFolder() { return SpecialFolder(CSIDL_PROGRAMS); }
std::wstring CommonProgramsMenuFolder() { return SpecialFolder(CSIDL_COMMON_PROGRAMS); }

std::wstring UserDataFolder(const std::wstring& installFolder) {
    if (!IsVistaOrLater()) return installFolder + deploy::kLegacyUserDataFolderName;
    wchar_t documents[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathW(nullptr, documents, CSIDL_PERSONAL, TRUE)) return std::wstring();
    return std::wstring(documents) + L"\\" + deploy::kUserDataFolderName;
}

std::wstring SetupFolder() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return std::wstring();
        if (length < path.size()) return ParentFolder(std::wstring(path.data(), length));
        path.resize(path.size() * 2);
    }
}

std::wstring WithoutTrailingBackslash(std::wstring path) {
    while (path.size() > 3 && path.back() == L'\\') path.pop_back();
    return path;
}

std::wstring LastComponent(const std::wstring& path) {
    if (path.empty() || path.back() == L'\\' || path.back() == L':') return std::wstring();
    return PathFindFileNameW(path.c_str());
}

std::wstring ParentFolder(const std::wstring& path) {
    size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
    if (folder.empty()) return name;
    if (folder.back() == L'\\' || folder.back() == L'/') return folder + name;
    return folder + L"\\" + name;
}

bool IsInsideFolder(const std::wstring& path, const std::wstring& folder) {
    if (path.empty() || folder.empty() || folder.size() >= path.size()) return false;
    std::wstring current = path;
    while (!current.empty() && current.size() > folder.size()) {
        while (!current.empty() && (current.back() == L'\\' || current.back() == L'/'))
            current.pop_back();
        size_t slash = current.find_last_of(L"\\/");
        if (slash == std::wstring::npos) return false;
        // A root parent keeps its backslash ("C:\"), so both spellings are compared.
        if (current.compare(0, slash + 1, folder) == 0 && folder.size() == slash + 1) return true;
        current = current.substr(0, slash);
        if (current == folder) return true;
    }
    return false;
}

int FindUserNumber(const std::wstring& installFolder) {
    std::wstring usersFolder = UserDataFolder(installFolder);
    if (usersFolder.empty()) return 0;
    WIN32_FIND_DATAW entry;
    diag::ScopedFindHandle find(FindFirstFileW(JoinPath(usersFolder, L"*.*").c_str(), &entry));
    if (!find.IsValid()) return 0;
    do {
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && IsAllDigits(entry.cFileName))
            return _wtoi(entry.cFileName);
    } while (FindNextFileW(find.Get(), &entry));
    return 0;
}

std::wstring BrowseForInstallFolder(HWND owner, const std::wstring& title) {
    diag::ScopedItemIdList desktop;
    SHGetSpecialFolderLocation(owner, CSIDL_DESKTOP, desktop.Receive());
    BROWSEINFOW info = {};
    info.hwndOwner = owner;
    info.pidlRoot = desktop.Get();
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    diag::ScopedItemIdList picked;
    picked.Reset(SHBrowseForFolderW(&info));
    if (picked.Get() == nullptr) return std::wstring();
    wchar_t path[MAX_PATH] = {};
    if (!SHGetPathFromIDListW(picked.Get(), path)) return std::wstring();
    if (!PathAppendW(path, deploy::kBrowseAppendName)) return std::wstring();
    return path;
}
