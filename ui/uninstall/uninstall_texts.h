#pragma once

#include <cstdint>

// What the uninstall window shows and writes: its texts, the widgets' names, its colours (those of
// the setup window) and its install-log lines.
namespace ui {

// ---- Texts -----------------------------------------------------------------------------------
inline constexpr wchar_t kUninstallTitle[] = L"卸载映彩直播";
inline constexpr wchar_t kUninstallQuestion[] = L"确定要从这台电脑上卸载映彩直播吗？";
inline constexpr wchar_t kRemoveDataText[] = L"同时删除我的个人数据";
inline constexpr wchar_t kUninstallButtonText[] = L"卸载";
inline constexpr wchar_t kCancelButtonText[] = L"取消";
inline constexpr wchar_t kClientRunningQuestion[] = L"映彩直播正在运行，需要先关闭它才能卸载。";
inline constexpr wchar_t kCloseAndUninstallText[] = L"关闭并卸载";
inline constexpr wchar_t kClientNotClosedText[] = L"无法关闭映彩直播，请先手动退出它再重试。";
inline constexpr wchar_t kUninstallingText[] = L"正在卸载…";
inline constexpr wchar_t kUninstallPercentFormat[] = L"%d%%";
inline constexpr wchar_t kUninstalledText[] = L"映彩直播已从您的电脑中卸载。";
inline constexpr wchar_t kUninstallIncompleteText[] = L"卸载未能全部完成，详情请查看安装日志。";
inline constexpr wchar_t kDoneButtonText[] = L"完成";

// ---- Widget names ----------------------------------------------------------------------------
inline constexpr wchar_t kUninstallDialogName[] = L"uninstalldialog";
inline constexpr wchar_t kUninstallCloseName[] = L"closeBtn";
inline constexpr wchar_t kUninstallPrimaryName[] = L"primaryBtn";
inline constexpr wchar_t kUninstallSecondaryName[] = L"secondaryBtn";
inline constexpr wchar_t kRemoveDataBoxName[] = L"removeDataBtn";

// ---- Colours (ARGB), the setup window's --------------------------------------------------------
inline constexpr uint32_t kUninstallWhite = 0xFFFFFFFF;
inline constexpr uint32_t kUninstallMessageWhite = 0xD9FFFFFF;  // the message under the heading
inline constexpr uint32_t kUninstallHalfWhite = 0x7FFFFFFF;     // the status line and the percentage
inline constexpr uint32_t kUninstallLabelWhite = 0xB3FFFFFF;    // the data box's label

// ---- Install log -----------------------------------------------------------------------------
inline constexpr wchar_t kLogUninstallWindowFailed[] = L"[uninstall]the window could not be shown, error %lu\n";
inline constexpr wchar_t kLogUninstallWorkerFailed[] = L"[uninstall]the removal could not be started on a thread\n";
inline constexpr wchar_t kLogUninstallClientNotClosed[] = L"[uninstall]the running client could not be ended\n";
inline constexpr wchar_t kLogUninstallConfirmed[] = L"[uninstall]removal confirmed, user data %s\n";
inline constexpr wchar_t kLogUninstallResult[] = L"[uninstall]removal result %d\n";

}  // namespace ui
