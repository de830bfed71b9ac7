#pragma once

#include "deploy/files/file_texts.h"

// Names, paths and log texts of the deployment steps that the user, the registry, the client or
// the log reader see. Each is spelled here once.
namespace deploy {

// ---- Product -------------------------------------------------------------------------------
inline constexpr wchar_t kCompanyFolder[] = L"Corvane";
inline constexpr wchar_t kProductFolder[] = L"Pelora";
inline constexpr wchar_t kStagingFolderPattern[] = L"%s\\Corvane\\STemp\\%s\\%s~%d";
inline constexpr wchar_t kStagingRootRelative[] = L"\\Corvane\\STemp";
inline constexpr wchar_t kStagedTreeRelative[] = L"\\program files\\Corvane\\Pelora";
inline constexpr wchar_t kManifestFileName[] = L"PeloraInstall.xml";
inline constexpr wchar_t kLauncherFileName[] = L"PL.exe";
inline constexpr wchar_t kUninstallerFileName[] = L"PeloraUninst.exe";
inline constexpr wchar_t kClientFileName[] = L"Pelora.exe";
inline constexpr wchar_t kWebComponentFileName[] = L"WebAPI.dll";
inline constexpr wchar_t kServiceDllFileName[] = L"VTService.dll";
inline constexpr wchar_t kUsersFolderName[] = L"Users";
inline constexpr wchar_t kBinFolderName[] = L"Bin";
inline constexpr wchar_t kRenameSuffix[] = L".rename";
inline constexpr wchar_t kSideNamePattern[] = L"%s~%d";
inline constexpr wchar_t kSystemProfilePath[] = L"C:\\windows\\WMSysPr9.prx";
inline constexpr wchar_t kSystemProfileFileName[] = L"WMSysPr9.prx";
// Files that also live in the product root, outside the version folder, in copy order.
inline constexpr const wchar_t* kPublicFiles[] = {kUninstallerFileName, kLauncherFileName,
                                                  kServiceDllFileName, kWebComponentFileName};
// The crash reporter and its libraries, copied into the update temp folder to run from there.
inline constexpr const wchar_t* kCrashReporterFiles[] = {L"bugreport.exe", L"tinyxml.dll", L"libeay32.dll"};

// ---- Manifest ------------------------------------------------------------------------------
inline constexpr char kManifestFolderElement[] = "folder";
inline constexpr char kManifestFileElement[] = "file";
inline constexpr char kManifestNameAttribute[] = "name";
inline constexpr char kManifestSizeAttribute[] = "size";

// ---- Well-known folders under the application data ------------------------------------------
inline constexpr wchar_t kDefaultProductRootRelative[] = L"\\Corvane\\Pelora\\App";
inline constexpr wchar_t kMiscFolderRelative[] = L"\\Corvane\\Pelora\\Misc";
inline constexpr wchar_t kUpdateTempFolderRelative[] = L"Corvane\\Pelora\\AUTemp";
inline constexpr wchar_t kProgramsFolderRelative[] = L"\\Corvane\\PeloraProgs";
inline constexpr wchar_t kUpdateFolderRelative[] = L"\\Corvane\\Pelora\\AuUpdate\\";
inline constexpr wchar_t kInstallLogRelative[] = L"\\Corvane\\Logs\\PeloraInstall.txt";
inline constexpr wchar_t kQuickLaunchRelative[] = L"\\Microsoft\\Internet Explorer\\Quick Launch";
inline constexpr wchar_t kUserDataFolderName[] = L"Corvane Files\\";
inline constexpr wchar_t kLegacyUserDataFolderName[] = L"\\Users\\";
inline constexpr wchar_t kBrowseAppendName[] = L"Pelora";
inline constexpr wchar_t kWriteProbePattern[] = L"%s%dtest\\";
inline constexpr wchar_t kClassesRootProbeKey[] = L"test_vt_";

// ---- Registry ------------------------------------------------------------------------------
inline constexpr wchar_t kProductKey[] = L"SOFTWARE\\Corvane\\Pelora";
inline constexpr wchar_t kFirstChannelKey[] = L"SOFTWARE\\Corvane\\PeloraFirstChannel";
inline constexpr wchar_t kUninstallParentKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
inline constexpr wchar_t kUninstallKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\映彩直播";
inline constexpr wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr wchar_t kValueVersion[] = L"Version";
inline constexpr wchar_t kValueVersionRead[] = L"version";
inline constexpr wchar_t kValueChannel[] = L"Channel";
inline constexpr wchar_t kValueChannelRead[] = L"channel";
inline constexpr wchar_t kValueLt[] = L"Lt";
inline constexpr wchar_t kValueInstall[] = L"Install";
inline constexpr wchar_t kValueExe[] = L"Exe";
inline constexpr wchar_t kValueDisplayIcon[] = L"DisplayIcon";
inline constexpr wchar_t kValueDisplayName[] = L"DisplayName";
inline constexpr wchar_t kValueDisplayVersion[] = L"DisplayVersion";
inline constexpr wchar_t kValuePublisher[] = L"Publisher";
inline constexpr wchar_t kValueUninstallString[] = L"UninstallString";
inline constexpr wchar_t kValueQuietUninstallString[] = L"QuietUninstallString";
inline constexpr wchar_t kValueInstallLocation[] = L"InstallLocation";
inline constexpr wchar_t kValueEstimatedSize[] = L"EstimatedSize";
inline constexpr wchar_t kValueInstallDate[] = L"InstallDate";
inline constexpr wchar_t kValueNoModify[] = L"NoModify";
inline constexpr wchar_t kValueNoRepair[] = L"NoRepair";
// "InstallDate" as Windows reads it: year, month and day of the local date, "20240131".
inline constexpr wchar_t kInstallDateFormat[] = L"%04u%02u%02u";
// The uninstaller's options (payload/uninstall_options.h): "/mode:noui" removes without a window.
inline constexpr wchar_t kUninstallerModeOption[] = L"/mode:";
inline constexpr wchar_t kUninstallerSilentMode[] = L"noui";
inline constexpr wchar_t kValueRunEntry[] = L"Pelora";
inline constexpr wchar_t kDisplayName[] = L"映彩直播";
inline constexpr wchar_t kPublisher[] = L"岚拓科技（深圳）有限公司";
inline constexpr wchar_t kUnknownChannel[] = L"0";
inline constexpr wchar_t kLtValue[] = L"False";
// Builds that report a version number of their own and never count as newer.
inline constexpr wchar_t kSpecialBuildVersion[] = L"23.89.0.860.1";
inline constexpr wchar_t kSpecialBuildSuffix[] = L".483";

inline constexpr wchar_t kProtocolScheme[] = L"Pelora";
inline constexpr wchar_t kProtocolDefaultValue[] = L"Pelora\\TalkProtocal";
inline constexpr wchar_t kValueUrlProtocol[] = L"URL Protocol";
inline constexpr wchar_t kProtocolIconKey[] = L"Pelora\\DefaultIcon";
inline constexpr wchar_t kProtocolCommandKey[] = L"Pelora\\shell\\open\\command";
inline constexpr wchar_t kProtocolIconFormat[] = L"\"%s\",1";
inline constexpr wchar_t kProtocolCommandFormat[] = L"\"%s\" \"%%1\"";

// ---- Install log lines ---------------------------------------------------------------------
inline constexpr wchar_t kLogLoadManifestFailed[] = L"[setup]加载XML失败 %s\n";
inline constexpr wchar_t kLogInstallResult[] = L"[setup]安装结果%d \n";
inline constexpr wchar_t kLogInstallFolderFailed[] = L"[setup]安装文件夹失败：%s \n";
inline constexpr wchar_t kLogInstallFileFailed[] = L"[setup]安装文件失败：%s \n";
inline constexpr wchar_t kLogInstallFileSource[] = L"[setup]安装文件失败原文件%s \n";
inline constexpr wchar_t kLogInstallFileTargetPath[] = L"[setup]安装文件失败目标文件：%s \n";
inline constexpr wchar_t kLogInstallFileTarget[] = L"[setup]安装文件失败目标文件%s \n";
inline constexpr wchar_t kLogExists[] = L"存在";
inline constexpr wchar_t kLogMissing[] = L"不存在";
inline constexpr wchar_t kLogCopyGaveUp[] = L"[setup]多次尝试copy文件，结果失败 \n";
inline constexpr wchar_t kLogDeleteFolderFailed[] = L"删除文件夹失败 %s \n";
inline constexpr wchar_t kLogRenameFailed[] = L"[setup]改名失败 %s\n";
inline constexpr wchar_t kLogMoveAsideFailed[] = L"[setup]文件%s改名不成功 \n";
inline constexpr wchar_t kLogPublicFileMissing[] =
    L"[日志] [CopyPublicFileToInstallDir] %s is not Exist";
inline constexpr wchar_t kLogPublicFileCopied[] =
    L"[日志] [CopyPublicFileToInstallDir] About to CopyFileW(%s, %s, FALSE):%d\r\n";
// Lines of this program's own for failures that would otherwise leave no trace.
inline constexpr wchar_t kLogScanBudgetExhausted[] =
    L"[setup]清单条目超过上限 %d，未列入：%s \n";
inline constexpr wchar_t kLogCopyBudgetExhausted[] =
    L"[setup]安装文件夹数超过上限 %d，未安装：%s \n";
inline constexpr wchar_t kLogNameNotAnsi[] = L"[setup]文件名无法用系统代码页表示：%s \n";
inline constexpr wchar_t kLogWriteManifestFailed[] = L"[setup]写入XML失败 %s\n";
inline constexpr wchar_t kLogRemovalIncomplete[] = L"[setup]卸载清单不完整，保留：%s \n";
inline constexpr wchar_t kLogCreateFolderFailed[] = L"[setup]创建文件夹失败 %s (%lu)\n";
inline constexpr wchar_t kLogDeleteTreeRefused[] = L"[setup]拒绝删除 %s\n";
inline constexpr wchar_t kLogNotProductFolder[] = L"[setup]不是本产品的文件夹，拒绝删除 %s\n";
inline constexpr wchar_t kLogTargetTooDeep[] =
    L"[setup]install folder too long: \"%s\" would give the product a path of %d characters: %s\n";
inline constexpr wchar_t kLogFootprintRemoved[] =
    L"[setup]removed what this run wrote: %d files, %d folders, %d entries left\n";
inline constexpr wchar_t kLogFootprintFolderKept[] = L"[setup]folder kept, it holds what this run did not write: %s\n";
inline constexpr wchar_t kLogFolderBlockedByFile[] = L"[setup]文件挡住了要创建的文件夹，未删除：%s\n";
inline constexpr wchar_t kLogForeignPreviousFolder[] = L"[setup]旧版本目录不是本产品的文件夹，不卸载：%s\n";
inline constexpr wchar_t kLogForeignInstallFolder[] = L"[setup]安装目录里有不属于本产品的文件，拒绝使用：%s\n";
inline constexpr wchar_t kLogProbeKept[] = L"[setup]探测目录 %s 不是空的，保留\n";
inline constexpr wchar_t kLogCopyTreeBudgetExhausted[] = L"[setup]复制目录超过上限：%s \n";
inline constexpr wchar_t kLogCopyTreeFileFailed[] = L"[setup]复制文件失败 %s (%lu)\n";
inline constexpr wchar_t kLogSystemProfileFailed[] = L"[setup]复制 %s 失败 (%lu)\n";

inline constexpr wchar_t kLogDrive[] = L"[setup]drive = %s \n";
inline constexpr wchar_t kLogTempDrive[] = L"[setup]tempDrive = %s \n";
inline constexpr wchar_t kLogFreeSpace[] = L"可用空间%s\n";
inline constexpr wchar_t kLogFreeSpaceFailed[] = L"[setup]GetDiskFreeSpaceEx %s 失败 (%lu)\n";
inline constexpr wchar_t kLogHaveWrite[] = L"[setup]bHaveWrite = %d \n";
inline constexpr wchar_t kLogDriveType[] = L"type  = %d \r\n";

inline constexpr wchar_t kLogProtocolEmpty[] = L"[setup]WriteProtocalInfo is empty\n";
inline constexpr wchar_t kLogProtocolCreateKey[] = L"[setup]CreateKey is false \n";
inline constexpr wchar_t kLogProtocolTime1[] = L"[setup]WriteProtocalInfo 1 time %d \n";
inline constexpr wchar_t kLogProtocolTime2[] = L"[setup]WriteProtocalInfo 2 time %d \n";
inline constexpr wchar_t kLogProtocolTime3[] = L"[setup]WriteProtocalInfo 3 time %d \n";
inline constexpr wchar_t kLogProtocolTime4[] = L"[setup]WriteProtocalInfo 4 time %d \n";
inline constexpr wchar_t kLogProtocolSubkey[] = L"[setup]Create %s\\DefaultIcon fail \n";
inline constexpr wchar_t kLogRunKeyFailed[] = L"打开注册表自动启动项失败";
inline constexpr wchar_t kLogProductKeyFailed[] = L"[setup]写入注册表失败 %s\\%s (%ld)\n";

}  // namespace deploy
