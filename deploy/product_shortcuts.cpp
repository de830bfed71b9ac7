#include "deploy/product_shortcuts.h"

#include <windows.h>

#include <utility>
#include <vector>

#include "deploy/created_places.h"
#include "deploy/file_system.h"
#include "deploy/install_paths.h"
#include "deploy/shell_link.h"
#include "deploy/shell_pin_requests.h"
#include "deploy/shortcut_constants.h"
#include "diag/install_log.h"

namespace {

// Empty when `folder` is unknown, so that no shortcut lands in a relative path.
std::wstring LinkIn(const std::wstring& folder, const wchar_t* name) {
    return folder.empty() ? std::wstring() : JoinPath(folder, name);
}

std::wstring GroupIn(const std::wstring& programs, const std::wstring& relativeFolder) {
    return programs.empty() ? std::wstring() : programs + relativeFolder;
}

// True when a folder on the way from `programs` down to its group `relativeFolder` is a link.
bool GroupPassesLink(const std::wstring& programs, const std::wstring& relativeFolder) {
    size_t end = 0;
    while ((end = relativeFolder.find(L'\\', end + 1)) != std::wstring::npos) {
        if (IsLink(programs + relativeFolder.substr(0, end))) return true;
    }
    return IsLink(programs + relativeFolder);
}

// Deletes one of the product's shortcut files; true when it is gone. One behind a link on the
// way is somebody else's file of that name and stays.
bool DeleteShortcutFile(const std::wstring& path) {
    if (path.empty() || !FileExists(path)) return true;
    if (!RefuseLinkOnPath(path)) return false;
    if (DeleteFileW(path.c_str())) return true;
    InstallLog::Format(deploy::kLogShortcutRemoveFailed, path.c_str(), GetLastError());
    return false;
}

bool LauncherPresent(const std::wstring& launcher, const std::wstring& link) {
    if (FileExists(launcher)) return true;
    InstallLog::Format(deploy::kLogShortcutTargetMissing, link.c_str(), launcher.c_str());
    return false;
}

bool SameFolder(const std::wstring& a, const std::wstring& b) {
    return !a.empty() && _wcsicmp(a.c_str(), b.c_str()) == 0;
}

bool EnsureFolder(const std::wstring& folder) {
    if (FolderExists(folder) || CreateFolderPath(folder)) return true;
    InstallLog::Format(deploy::kLogShortcutFolderFailed, folder.c_str());
    return false;
}

}  // namespace

ShortcutFolders SystemShortcutFolders() {
    return {DesktopFolder(), QuickLaunchFolder(), ProgramsMenuFolder(), CommonProgramsMenuFolder()};
}

ProductShortcuts::ProductShortcuts(ShortcutFolders folders, uint32_t osVersionCode, ShellPinRequests& shell)
    : m_folders(std::move(folders)), m_osVersionCode(osVersionCode), m_shell(shell) {}

bool ProductShortcuts::RemoveStartMenuGroup(const std::wstring& relativeFolder) {
    bool removed = true;
    for (const std::wstring* programs : {&m_folders.programs, &m_folders.commonPrograms}) {
        const std::wstring group = GroupIn(*programs, relativeFolder);
        if (group.empty() || !FileOrFolderExists(group)) continue;
        if (GroupPassesLink(*programs, relativeFolder)) {
            InstallLog::Format(deploy::kLogShortcutGroupLinked, group.c_str());
            continue;
        }
        removed = DeleteShortcutFile(JoinPath(group, deploy::kLaunchShortcutName)) && removed;
        removed = DeleteShortcutFile(JoinPath(group, deploy::kUninstallShortcutName)) && removed;
        if (!RemoveDirectoryW(group.c_str()) && FolderExists(group)) {
            InstallLog::Format(deploy::kLogShortcutGroupKept, group.c_str());
        }
    }
    return removed;
}

bool ProductShortcuts::RemoveOldShortcuts() {
    bool removed = RemoveStartMenuGroup(deploy::kOldStartMenuGroup);

    const std::wstring group = GroupIn(m_folders.programs, deploy::kStartMenuGroup);
    const std::wstring commonGroup = GroupIn(m_folders.commonPrograms, deploy::kStartMenuGroup);
    const std::wstring desktopLink = LinkIn(m_folders.desktop, deploy::kLaunchShortcutName);
    const std::wstring quickLaunchLink = LinkIn(m_folders.quickLaunch, deploy::kLaunchShortcutName);
    std::vector<std::wstring> candidates = {
        LinkIn(group, deploy::kLaunchShortcutName),      LinkIn(commonGroup, deploy::kLaunchShortcutName),
        LinkIn(group, deploy::kUninstallShortcutName),   LinkIn(commonGroup, deploy::kUninstallShortcutName),
        desktopLink,                                     quickLaunchLink,
    };
    for (const std::wstring& candidate : candidates) {
        if (candidate.empty()) continue;
        if (m_osVersionCode > deploy::kOsVersionVista) m_shell.ExecuteHidden(deploy::kVerbTaskbarUnpin, candidate, L"");
        m_shell.UnpinFromStartMenu(candidate);
    }

    removed = RemoveStartMenuGroup(deploy::kStartMenuGroup) && removed;
    removed = DeleteShortcutFile(desktopLink) && removed;
    removed = DeleteShortcutFile(quickLaunchLink) && removed;
    for (const std::wstring& candidate : candidates) {
        if (!candidate.empty()) m_shell.NotifyDeleted(candidate);
    }
    return removed;
}

bool ProductShortcuts::CreateDesktopShortcut(const std::wstring& launcher) {
    const std::wstring link = LinkIn(m_folders.desktop, deploy::kLaunchShortcutName);
    if (!LauncherPresent(launcher, link)) return true;
    return CreateAppShortcut(launcher, link, deploy::kStartSourceDesktop);
}

bool ProductShortcuts::CreateQuickLaunchShortcut(const std::wstring& launcher, const std::wstring& pinProgram) {
    const std::wstring link = LinkIn(m_folders.quickLaunch, deploy::kLaunchShortcutName);
    if (!LauncherPresent(launcher, link)) return true;
    // A link on the way would put the shortcut (and the folders made for it) into somebody
    // else's folder.
    if (link.empty() || !RefuseLinkOnPath(link)) return false;
    // A profile without the quick-launch folder gets one; the made levels are noted so that the
    // uninstaller can take them back.
    const bool isUsersFolder = SameFolder(m_folders.quickLaunch, QuickLaunchFolder());
    const bool parentExisted = FolderExists(ParentFolder(m_folders.quickLaunch));
    const bool existed = FolderExists(m_folders.quickLaunch);
    if (link.empty() || !EnsureFolder(m_folders.quickLaunch)) return false;
    if (isUsersFolder && !parentExisted) NoteCreatedPlace(kPlaceInternetExplorerFolder);
    if (isUsersFolder && !existed) NoteCreatedPlace(kPlaceQuickLaunchFolder);
    if (!CreateAppShortcut(launcher, link, deploy::kStartSourceQuickLaunch)) return false;
    if (m_osVersionCode > deploy::kOsVersionWindows7) {
        // No pin program (it was not the product's own): the shortcut stays unpinned.
        if (!pinProgram.empty()) m_shell.ExecuteHidden(deploy::kVerbOpen, pinProgram, L"\"" + link + L"\"");
    } else {
        m_shell.ExecuteHidden(deploy::kVerbTaskbarPin, link, L"");
    }
    return true;
}

bool ProductShortcuts::CreateStartMenuShortcuts(const std::wstring& launcher, const std::wstring& uninstaller) {
    const std::wstring group = GroupIn(m_folders.programs, deploy::kStartMenuGroup);
    if (group.empty()) return false;
    // A link on the way would put the shortcuts, under the product's names, into a folder of
    // somebody else's.
    if (GroupPassesLink(m_folders.programs, deploy::kStartMenuGroup)) {
        InstallLog::Format(deploy::kLogShortcutGroupLinked, group.c_str());
        return false;
    }
    if (!EnsureFolder(group)) return false;
    bool created = true;
    const std::wstring launchLink = JoinPath(group, deploy::kLaunchShortcutName);
    if (LauncherPresent(launcher, launchLink)) {
        created = CreateAppShortcut(launcher, launchLink, deploy::kStartSourceStartMenu);
    }
    const std::wstring uninstallLink = JoinPath(group, deploy::kUninstallShortcutName);
    if (LauncherPresent(uninstaller, uninstallLink)) {
        created = CreateFileShortcut(uninstaller, uninstallLink) && created;
    }
    return created;
}
