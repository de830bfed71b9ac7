#pragma once

// Every text of the telemetry subsystem that leaves the process: the report server endpoint, the
// event names and values, and the binary-log categories, function names and messages.
namespace report_texts {

// The report server. PELORA_REPORT_SERVER="host:port" overrides both (tests, staging).
inline constexpr wchar_t kServerHost[] = L"report.pelora.corvane.com";
inline constexpr char kServerPort[] = "8000";
inline constexpr char kServerOverrideVariable[] = "PELORA_REPORT_SERVER";

// Installer events.
inline constexpr char kBid[] = "b_lmq_im_active_base";
inline constexpr char kTid[] = "interactive_video_data_report";
inline constexpr char kActionStart[] = "installer_start";
inline constexpr char kActionDone[] = "installer_done";
inline constexpr char kActionAbort[] = "installer_abort";
inline constexpr char kActionError[] = "installer_error";
// The uninstaller's one event, sent when it ends after a removal was started (see README.md).
inline constexpr char kActionUninstallerDone[] = "uninstaller_done";
inline constexpr char kValueUninstallResult[] = "res5";
inline constexpr char kValueUserDataRemoved[] = "res6";
inline constexpr char kValueAction[] = "action";
inline constexpr char kValueInstallSource[] = "installsrc";
inline constexpr char kValueStartSeconds[] = "start_ts";
inline constexpr char kValueDeviceIdentity[] = "res1";
inline constexpr char kValueErrorCode[] = "res2";
inline constexpr char kValueFirstChannel[] = "res3";
inline constexpr char kValueRegisteredChannel[] = "res4";

// Binary-log categories.
inline constexpr wchar_t kCategoryData[] = L"PeloraDataReport";
inline constexpr wchar_t kCategoryEvent[] = L"PeloraDataReport.Event";
inline constexpr wchar_t kCategoryError[] = L"PeloraDataReport.Event.ERROR";
inline constexpr wchar_t kCategoryAddItem[] = L"PeloraDataReport.AddItem";

// Binary-log function names.
inline constexpr wchar_t kFnConstructor[] = L"DataReportMgr::DataReportMgr";
inline constexpr wchar_t kFnDestructor[] = L"DataReportMgr::~DataReportMgr";
inline constexpr wchar_t kFnInitialize[] = L"DataReportMgr::InitializeDataReport";
inline constexpr wchar_t kFnUninitialize[] = L"DataReportMgr::UninitalizeDataReport";
inline constexpr wchar_t kFnSetClientVersion[] = L"DataReportMgr::SetClientVersion";
inline constexpr wchar_t kFnSetUid[] = L"DataReportMgr::SetUid";
inline constexpr wchar_t kFnSetClientBuild[] = L"DataReportMgr::SetClientBuild";
inline constexpr wchar_t kFnAddReportItem[] = L"DataReportMgr::AddReportItem";
inline constexpr wchar_t kFnFlush[] = L"DataReportMgr::Flush";
inline constexpr wchar_t kFnRun[] = L"DataReportMgr::Run";
inline constexpr wchar_t kFnSendToServer[] = L"DataReportMgr::SendToServer";
inline constexpr wchar_t kFnLogReportData[] = L"DataReportMgr::LogReportData";

// Binary-log messages.
inline constexpr wchar_t kLogConstructed[] = L"数据上报上报构造完成";
inline constexpr wchar_t kLogDestroying[] = L"数据上报开始析构";
inline constexpr wchar_t kLogDestroyed[] = L"数据上报析构完成";
inline constexpr wchar_t kLogInitialize[] = L"数据上报初始化";
inline constexpr wchar_t kLogUninitializing[] = L"数据上报准备退出";
inline constexpr wchar_t kLogFlushBeforeExit[] = L"结束前调用Flush";
inline constexpr wchar_t kLogThreadKilled[] = L"数据上报线程强制结束";
inline constexpr wchar_t kLogWaitForThread[] = L"等待%d毫秒，只为最后一个上报线程结束...";
inline constexpr wchar_t kLogActualWait[] = L"实际等待时间%d毫秒";
inline constexpr wchar_t kLogLastThreadEnded[] = L"最后一个上报线程结束：ExitCode=%d";
inline constexpr wchar_t kLogUninitialized[] = L"数据上报结束";
inline constexpr wchar_t kLogSetClientVersion[] = L"设置ClientVersion=%s";
inline constexpr wchar_t kLogSetUid[] = L"设置Uid=%s";
inline constexpr wchar_t kLogSetClientBuild[] = L"设置ClientBuild=%s";
inline constexpr wchar_t kLogAddImmediate[] =
    L"添加及时上报项: bid=%s; tid=%s; module=%s; opername=%s; action=%s";
inline constexpr wchar_t kLogAddCached[] =
    L"添加缓存上报项: bid=%s; tid=%s; module=%s; opername=%s; action=%s";
inline constexpr wchar_t kLogCreateThread[] = L"创建上报线程";
inline constexpr wchar_t kLogCreateThreadFailed[] = L"上报线程创建失败";
inline constexpr wchar_t kLogRun[] = L"上报线程Run";
inline constexpr wchar_t kLogSendCancelled[] = L"强制结束线程，发送取消！！！";
inline constexpr wchar_t kLogWaitCancelled[] = L"强制结束线程，取消等待！！！";
inline constexpr wchar_t kLogSending[] = L"准备发送数据%d>>>";
inline constexpr wchar_t kLogSent[] = L">>>发送数据成功%d";
inline constexpr wchar_t kLogSendFailed[] = L">>>发送数据失败！！！";
inline constexpr wchar_t kLogRetryIn[] = L">>>%d s后将尝试第%d次重发失败数据";
inline constexpr wchar_t kLogRunEnded[] = L"上报线程任务结束";
inline constexpr wchar_t kLogNetworkInvalid[] = L"连接初始化无效!!!";
inline constexpr wchar_t kLogReportData[] =
    L"ReportData Info: clientSeq=%d; dataSize=%d; clientbuild=%s; clientversion=%s; uid=%s; "
    L"deviceid=%s";
inline constexpr wchar_t kLogReportItem[] =
    L"ReportItem: bid=%s; tid=%s; module=%s; opername=%s; action=%s";
inline constexpr wchar_t kLogValueUint[] = L"ReportValue: key=%s; value=%d;";
inline constexpr wchar_t kLogValueText[] = L"ReportValue: key=%s; value=%s;";
inline constexpr wchar_t kLogValueDouble[] = L"ReportValue: key=%s; value=%lf;";

}  // namespace report_texts
