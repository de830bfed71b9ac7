#pragma once

// Texts of the uninstaller's removal: what the user is told when nothing can be removed, and the
// install-log lines of the removal. Each is spelled here once.
namespace deploy {

// ---- Refusals (shown to the user and logged) -----------------------------------------------
inline constexpr wchar_t kRefuseNotInstalled[] = L"映彩直播没有安装在这台电脑上。";
inline constexpr wchar_t kRefuseForeignFolder[] =
    L"注册表记录的安装文件夹不是映彩直播的文件夹，为了安全，没有删除任何内容：%s";
inline constexpr wchar_t kRefuseLinkedFolder[] =
    L"安装文件夹是一个链接，为了安全，没有删除任何内容：%s";
inline constexpr wchar_t kRefuseManifestUnreadable[] =
    L"无法读取安装清单，没有删除任何内容：%s";
inline constexpr wchar_t kRefuseManifestName[] =
    L"安装清单指向安装文件夹以外的位置，为了安全，没有删除任何内容：%s";
inline constexpr wchar_t kRefuseManifestTooDeep[] =
    L"安装清单的层次过深，为了安全，没有删除任何内容：%s";

// ---- Folders and files of the product beside the version folder -----------------------------
inline constexpr wchar_t kCompanyStartMenuGroup[] = L"\\岚拓软件";
// The options file in the misc folder and the mark the setup writes into it (ui/page_options.h).
inline constexpr wchar_t kOptionsFileName[] = L"EnvirConf.ini";
inline constexpr wchar_t kOptionsSection[] = L"Option";
inline constexpr wchar_t kOptionsKey[] = L"FirstOpenLoginPanel";

// ---- Install-log lines ---------------------------------------------------------------------
inline constexpr wchar_t kLogUninstallStart[] = L"[uninstall]removing \"%s\" (product root \"%s\"), user data %s\r\n";
inline constexpr wchar_t kLogUninstallRefused[] = L"[uninstall]refused: %s\r\n";
inline constexpr wchar_t kLogUninstallClientRunning[] = L"[uninstall]the client is running\r\n";
inline constexpr wchar_t kLogUninstallClientNotEnded[] = L"[uninstall]the client could not be ended\r\n";
inline constexpr wchar_t kLogUninstallStep[] = L"[uninstall]%s: %s\r\n";
inline constexpr wchar_t kLogUninstallDeferred[] = L"[uninstall]in use, deleted at the next start: %s\r\n";
inline constexpr wchar_t kLogUninstallNotScheduled[] =
    L"[uninstall]in use and moved aside to \"%s\", but the next start's list cannot be written (error %u)\r\n";
inline constexpr wchar_t kLogUninstallFileLeft[] = L"[uninstall]left on disk: %s\r\n";
inline constexpr wchar_t kLogUninstallFolderNotHeld[] = L"[uninstall]\"%s\" cannot be held (%s at \"%s\"), nothing below it is removed\r\n";
inline constexpr wchar_t kLogLeftoverRecorded[] = L"[uninstall]left for the next run: %s\r\n";
inline constexpr wchar_t kLogLeftoverRemoved[] = L"[setup]leftover of an earlier removal deleted: %s\r\n";
inline constexpr wchar_t kLogLeftoverRefused[] = L"[setup]leftover entry ignored, it is no side file of the product: %s\r\n";
inline constexpr wchar_t kLogUninstallNotRemoved[] = L"[uninstall]could not remove \"%s\", error %u\r\n";
inline constexpr wchar_t kLogUninstallLinkKept[] = L"[uninstall]\"%s\" is a link now and is left alone\r\n";
inline constexpr wchar_t kLogUninstallFolderKept[] = L"[uninstall]folder kept, it holds what the product did not put there: %s\r\n";
inline constexpr wchar_t kLogUninstallFilesDone[] =
    L"[uninstall]files: %d removed, %d deleted at the next start, %d failed\r\n";
inline constexpr wchar_t kLogUninstallKeysKept[] =
    L"[uninstall]product key and uninstall entry kept, so that the removal can be run again\r\n";
inline constexpr wchar_t kLogUninstallDone[] = L"[uninstall]done, result %d, %u ms\r\n";
inline constexpr wchar_t kStepOk[] = L"ok";
inline constexpr wchar_t kStepFailed[] = L"failed";

}  // namespace deploy
