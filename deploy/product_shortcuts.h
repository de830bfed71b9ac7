#pragma once

#include <cstdint>
#include <string>

class ShellPinRequests;

// The folders that hold the product's shortcuts; an empty one is left out.
struct ShortcutFolders {
    std::wstring desktop;
    std::wstring quickLaunch;
    std::wstring programs;        // the current user's start-menu programs
    std::wstring commonPrograms;  // the all-users start-menu programs
};

// The running user's folders.
ShortcutFolders SystemShortcutFolders();

// The product's set of shortcuts: desktop, quick launch (pinned to the taskbar) and the start-menu
// group "\岚拓软件\映彩直播" with a launch and an uninstall shortcut. Launch shortcuts pass the
// start source ("/startsrc:...") and start in the launcher's folder.
//
// Removal touches nothing but the product's own shortcut names; a group folder goes only when
// nothing else is left in it, and a group reached through a folder link is never entered. A target
// that does not exist skips its shortcut (logged); a shortcut that cannot be written or an old one
// that cannot be deleted makes the result false.
class ProductShortcuts {
public:
    ProductShortcuts(ShortcutFolders folders, uint32_t osVersionCode, ShellPinRequests& shell);

    // Unpins and deletes every shortcut an earlier install may have left, and the old group.
    bool RemoveOldShortcuts();
    bool CreateDesktopShortcut(const std::wstring& launcher);
    // Also pins the shortcut: through the pin program from Windows 8 on, by the shell's
    // "taskbarpin" verb before; an empty `pinProgram` leaves it unpinned from Windows 8 on.
    bool CreateQuickLaunchShortcut(const std::wstring& launcher, const std::wstring& pinProgram);
    // The group below the current user's start-menu programs; false, with nothing written, when
    // the way to it passes a folder link.
    bool CreateStartMenuShortcuts(const std::wstring& launcher, const std::wstring& uninstaller);
    // Deletes the product's shortcuts in `relativeFolder` below both programs folders, and the
    // folder itself when that leaves it empty.
    bool RemoveStartMenuGroup(const std::wstring& relativeFolder);

private:
    ShortcutFolders m_folders;
    uint32_t m_osVersionCode;
    ShellPinRequests& m_shell;
};
