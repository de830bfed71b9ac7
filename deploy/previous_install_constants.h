#pragma once

#include <cstdint>

// Names, codes and install-log lines of the client-process control, the removal of an earlier
// install and the updater's configuration. Each is spelled here once.
namespace deploy {

// ---- Processes -----------------------------------------------------------------------------
inline constexpr wchar_t kUpdaterProcessName[] = L"vtupd.exe";
// IsClientRunning's answers.
inline constexpr int kNothingRunning = 0;
inline constexpr int kClientRunning = 1;
inline constexpr int kUpdaterRunning = 3;

inline constexpr wchar_t kLogProcessPath1[] = L"[setup]path1 = %s \n";
inline constexpr wchar_t kLogProcessPath2[] = L"[setup]path2 = %s \n";
inline constexpr wchar_t kLogProcessPath3[] = L"[setup]path3 = %s \n";
inline constexpr wchar_t kLogProcessPath4[] = L"[setup]path4 = %s \n";
inline constexpr wchar_t kLogProcessPath5[] = L"[setup]path5 = %s \n";
inline constexpr wchar_t kLogProcessToEnd[] = L"[setup]要删掉的进程名为%s \n";
inline constexpr wchar_t kLogRunningCheckTime[] = L"[setup]CVSystem::IsVTProcessExist Time = %d\n";
inline constexpr wchar_t kLogTerminateFailed[] = L"[setup]TerminateProcess return false\n";

// ---- Earlier install -----------------------------------------------------------------------
inline constexpr wchar_t kLogNoServiceBelowVista[] = L"[setup]no key-press service below Vista, nothing to stop\n";
inline constexpr wchar_t kRegisterServerProgram[] = L"regsvr32.exe";
inline constexpr wchar_t kUnregisterParameters[] = L"/s /u \"%s\"";
inline constexpr wchar_t kOldUninstallerFileName[] = L"VoctoUninst.exe";
inline constexpr wchar_t kLogRemovalStart[] = L"[setup]开始卸载MSI, 时间为%d\n";
inline constexpr wchar_t kLogRemovalUnregistered[] = L"[setup]UnRegVoctoDll花费的时间是%d\n";
inline constexpr wchar_t kLogRemovalDone[] = L"[setup]完成卸载,卸载花费的时间是%d\n";
inline constexpr wchar_t kLogUnregisterFailed[] = L"[setup]regsvr32 could not be started for %s, code %d\n";
inline constexpr wchar_t kLogOldRootLeft[] = L"[setup]old product root %s could not be removed, error %lu\n";
inline constexpr wchar_t kLogServiceNotStopped[] = L"[setup]service %s could not be stopped\n";
inline constexpr wchar_t kLogUsersFolderNotCopied[] = L"[setup]users folder %s could not be copied to %s, it stays\n";
inline constexpr wchar_t kLogUsersFolderNotMoved[] = L"[setup]users folder %s could not be removed after the copy\n";

// Error events of the removal steps, reported by the install engine.
inline constexpr uint32_t kErrorUnregisterWebComponent = 1001;
inline constexpr uint32_t kErrorRemoveByManifest = 1002;
inline constexpr uint32_t kErrorStopService = 1003;
inline constexpr uint32_t kErrorDeletePublicFiles = 1004;
inline constexpr uint32_t kErrorRemoveOldRoot = 1005;

// Budgets of the users-folder move.
inline constexpr int kUsersFolderSearchBudget = 50;
inline constexpr int kUsersFolderCopyBudget = 5000;

// ---- Updater configuration -----------------------------------------------------------------
inline constexpr wchar_t kQuietUpdateIniName[] = L"AuQuietUpdate.ini";
inline constexpr wchar_t kUpdateMarkerName[] = L"AuVersion.ini";
inline constexpr wchar_t kIniCurrentSection[] = L"Current";
inline constexpr wchar_t kIniHistorySection[] = L"History";
inline constexpr wchar_t kIniVersionPathKey[] = L"strVoctoPath";
inline constexpr wchar_t kIniHistoryCountKey[] = L"nCount";
inline constexpr wchar_t kIniHistoryPathKeyFormat[] = L"strVoctoPath%d";
inline constexpr wchar_t kIniUpdateSection[] = L"update";
inline constexpr wchar_t kIniStateKey[] = L"state";

inline constexpr wchar_t kLogDeleteVersionStart[] = L"[日志]DeleteVersion 开始时间为%d\r\n";
inline constexpr wchar_t kLogDeleteVersionFolder[] = L"DeleteVersionFolder %s \n";
inline constexpr wchar_t kLogHistoryEntryKept[] = L"[setup]历史版本目录是新安装的目录或其上下级，保留：%s\n";
inline constexpr wchar_t kLogIniRemoved[] = L"[日志]ForceRemoveInIFile Success\r\n";
inline constexpr wchar_t kLogIniRewritten[] = L"[日志]ModifyQuietInicfg Success\r\n";
inline constexpr wchar_t kLogIniNotWritten[] = L"[日志]ModifyQuietInicfg failed, error %lu\r\n";
inline constexpr wchar_t kLogDeleteVersionElapsed[] = L"[日志]DeleteVersion 经历时间为%d\r\n";
inline constexpr wchar_t kLogNoUpdateFolder[] = L"[日志]update folder %s could not be created, error %lu\r\n";
inline constexpr wchar_t kLogUpdateMarkerKept[] = L"[setup]update marker %s could not be reset, error %lu\n";

}  // namespace deploy
