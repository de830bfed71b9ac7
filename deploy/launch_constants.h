#pragma once

// Names and log lines of starting the installed client as the logged-on user.
namespace deploy {

// Version codes (OsVersionCode) where the way of starting the client changes.
constexpr unsigned kFirstVistaVersionCode = 0x600;
constexpr unsigned kFirstWindows8VersionCode = 0x602;

// Fixed buffers of the launch; longer texts are refused, never cut.
constexpr int kLaunchTextCapacity = 1024;
constexpr int kLaunchCommandLineCapacity = 520;
// The session user "domain\user" is refused beyond this length.
constexpr int kSessionUserNameLimit = 2043;

// The one-shot task of the scheduler.
constexpr wchar_t kTaskNameFormat[] = L"TaskAt%ld";
constexpr wchar_t kTaskRootFolder[] = L"\\";
constexpr wchar_t kTaskPrincipalId[] = L"Principal1";
constexpr wchar_t kSessionUserFormat[] = L"%s\\%s";
constexpr int kTaskStatePolls = 500;
constexpr unsigned kTaskStatePollMs = 20;

constexpr wchar_t kTcbPrivilege[] = L"SeTcbPrivilege";

// Install-log lines.
constexpr wchar_t kLogRunAsUser[] = L"\r\nRunAsUser%s:%s\r\n";
constexpr wchar_t kLogShellExecute[] = L"\r\nShellExecute%s:%s\r\n";
constexpr wchar_t kLogCreateLowProcess[] = L"\r\nCreateLowProcess%s:%s\r\n";
constexpr wchar_t kLogOpenProcessTokenFailed[] = L"OpenProcessToken failed. Last Error is:%d\r\n";
constexpr wchar_t kLogLookupTcbFailed[] = L"LookupPrivilegeValue 'SE_TCB_NAME' failed. Last Error is:%d\r\n";
constexpr wchar_t kLogAdjustPrivilegesFailed[] = L"AdjustTokenPrivileges failed. Last Error is:%d\r\n";
constexpr wchar_t kLogCreateProcessAsUserFailed[] = L"CreateProcessAsUser failed. Last Error is:%d\r\n";
constexpr wchar_t kLogShellExecuteFailed[] = L"[setup]ShellExecute %s failed: %d\r\n";
constexpr wchar_t kLogLaunchTextTooLong[] = L"[setup]launch of %s refused: its text is too long\r\n";
constexpr wchar_t kLogTaskStepFailed[] = L"[setup]task %s: %s failed: 0x%08lX\r\n";
constexpr wchar_t kLogTaskNotRunning[] = L"[setup]task %s did not reach the running state\r\n";

}  // namespace deploy
