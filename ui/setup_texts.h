#pragma once

// What the setup window tells the user in its message boxes, and the install-log lines that go
// with them. The caption of every box is product::kMessageCaption.
namespace ui {

// The verdicts on the install folder (CommitInstallFolder).
inline constexpr wchar_t kFolderInvalidText[] = L"您选择的安装路径无效，请重新选择。";
// Filled with the required space in MiB, one decimal.
inline constexpr wchar_t kFolderDiskFullFormat[] = L"磁盘空间不足，程序安装目录无效，请重新选择。(所需磁盘空间：%.1fM)";
inline constexpr wchar_t kFolderNoAccessText[] = L"安装路径无效，您没有权限在此位置写入数据。请重新选择。";

// A picked folder is too long for the product's paths (the location page's browse button).
inline constexpr wchar_t kBrowsedPathTooLongText[] = L"您选择的路径长度过长，请重新选择。";

// A client of the product still runs (CheckProductRunning).
inline constexpr wchar_t kClientRunningText[] =
    L"检测到映彩直播正在运行，安装无法继续。请单击「重试」强制关闭映彩直播以继续安装 或者单击「取消」退出安装。";
inline constexpr wchar_t kLogClientRunningHidden[] = L"[setup]the client is running, the hidden install stops\n";

// The options kept for the installed client (page_options.h): REG_DWORD values of the product key
// under the current user, and the options file in the misc folder; then the setup's own value
// beside them, the quick-launch box's last choice.
inline constexpr wchar_t kOptionShortcutDesktop[] = L"nShortcutDesktop";
inline constexpr wchar_t kOptionShortcutQuickLaunch[] = L"nShortcutQuickLaunch";
inline constexpr wchar_t kOptionRunExe[] = L"nRunExe";
inline constexpr wchar_t kOptionShowNewFeature[] = L"nShowNewFeature";
inline constexpr wchar_t kOptionStartRunExe[] = L"nStartRunExe";
inline constexpr wchar_t kOptionSetupQuickLaunch[] = L"nSetupQuickLaunch";
inline constexpr wchar_t kOptionsFirstLoginValue[] = L"1";
inline constexpr wchar_t kLogOptionsFolderFailed[] = L"[setup]options not saved: the folder %s could not be created\n";
inline constexpr wchar_t kLogOptionsFileFailed[] = L"[setup]options file %s not written, error %lu\n";
inline constexpr wchar_t kLogOptionsKeyFailed[] = L"[setup]options not saved: the user key could not be opened, error %ld\n";
inline constexpr wchar_t kLogOptionValueFailed[] = L"[setup]option %s not saved, error %ld\n";

// The engine's errors (HandleError).
inline constexpr wchar_t kDiskLowText[] = L"安装路径所在磁盘空间太小，请先清理再重试安装。";
inline constexpr wchar_t kExtractFailedText[] = L"提取安装文件失败。";
inline constexpr wchar_t kExtractFailedLog[] = L"解压失败\r\n";
inline constexpr wchar_t kRemoveOldVersionFailedText[] = L"卸载旧版本失败，安装向导将退出。";
inline constexpr wchar_t kRemoveOldVersionFailedLog[] = L"卸载旧版本失败了\r\n";
inline constexpr wchar_t kUnknownErrorText[] = L"安装过程当中出现未知错误，安装向导将退出。";
inline constexpr wchar_t kUnknownErrorLog[] = L"安装过程当中出现了未知错误\r\n";

// The setup window could not be created (the run then ends with 1).
inline constexpr wchar_t kLogNoSetupWindow[] = L"[setup]setup window could not be created, error %lu\n";
// A step or an error that could not be posted to the setup window: the window collects it later.
inline constexpr wchar_t kLogReportKept[] = L"[setup]report %u not posted, error %lu; kept for the window\n";
// The location page's path box could not be created (the page then shows no box).
inline constexpr wchar_t kLogNoPathBox[] = L"[setup]path box could not be created, error %lu\n";
// The agreement link could not open the agreement in the browser (ShellExecute's result).
inline constexpr wchar_t kLogAgreementNotOpened[] = L"[setup]agreement page %s not opened, result %ld\n";

}  // namespace ui
