#pragma once

// Names, arguments and log texts of the product's shortcuts and pins, each spelled here once.
namespace deploy {

// ---- Start-menu group, relative to a start-menu programs folder -----------------------------
inline constexpr wchar_t kStartMenuGroup[] = L"\\岚拓软件\\映彩直播";
// The group name of older versions.
inline constexpr wchar_t kOldStartMenuGroup[] = L"\\岚拓软件\\Pelora";

// ---- Shortcut files ------------------------------------------------------------------------
inline constexpr wchar_t kLaunchShortcutName[] = L"映彩直播.lnk";
inline constexpr wchar_t kUninstallShortcutName[] = L"卸载映彩直播.lnk";

// ---- Start-source arguments the client reads -------------------------------------------------
inline constexpr wchar_t kStartSourceDesktop[] = L"/startsrc:desktop_short";
inline constexpr wchar_t kStartSourceQuickLaunch[] = L"/startsrc:desktop_launchbar";
inline constexpr wchar_t kStartSourceStartMenu[] = L"/startsrc:desktop_start";

// The application user-model identifier that groups a pinned shortcut with the running client.
inline constexpr wchar_t kAppUserModelId[] = L"Pelora";

// ---- Shell verbs ---------------------------------------------------------------------------
inline constexpr wchar_t kVerbOpen[] = L"open";
inline constexpr wchar_t kVerbTaskbarPin[] = L"taskbarpin";
inline constexpr wchar_t kVerbTaskbarUnpin[] = L"taskbarunpin";

// ---- Windows versions (OsVersionCode) that decide the pin method ------------------------------
inline constexpr unsigned kOsVersionVista = 0x600;
inline constexpr unsigned kOsVersionWindows7 = 0x601;

// ---- Install-log lines ---------------------------------------------------------------------
inline constexpr wchar_t kLogShortcutTime[] = L"[setup] CreateFileShortcut time = %d\n";
inline constexpr wchar_t kLogShortcutFailed[] = L"[setup]shortcut %s could not be %s: 0x%08lX\n";
inline constexpr wchar_t kLogShortcutStepCreate[] = L"created";
inline constexpr wchar_t kLogShortcutStepSave[] = L"saved";
inline constexpr wchar_t kLogShortcutTargetMissing[] = L"[setup]shortcut %s skipped: %s does not exist\n";
inline constexpr wchar_t kLogShortcutFolderFailed[] = L"[setup]shortcut folder %s could not be created\n";
inline constexpr wchar_t kLogShortcutRemoveFailed[] = L"[setup]old shortcut %s could not be deleted, error %lu\n";
inline constexpr wchar_t kLogShortcutGroupKept[] = L"[setup]start-menu group %s kept: it holds other files\n";
inline constexpr wchar_t kLogShortcutGroupLinked[] = L"[setup]start-menu group %s is a link and is left alone\n";

}  // namespace deploy
