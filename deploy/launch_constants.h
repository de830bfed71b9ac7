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

// How long the launch waits for a program it started to end, about as long as the task's polls;
// a program still running then is left running.
constexpr unsigned long kLaunchWaitMs = 10000;

// The shell's process when no shell window can be found: the one of this name in the setup
// program's own session.
constexpr wchar_t kExplorerProcessName[] = L"explorer.exe";
// CreateProcessWithTokenW, looked up at run time: advapi32 of Windows XP does not have it.
constexpr wchar_t kAdvapiLibrary[] = L"advapi32.dll";
constexpr char kCreateProcessWithTokenName[] = "CreateProcessWithTokenW";

// Install-log lines.
constexpr wchar_t kLogRunAsUser[] = L"\r\nRunAsUser%s:%s\r\n";
constexpr wchar_t kLogShellExecute[] = L"\r\nShellExecute%s:%s\r\n";
constexpr wchar_t kLogCreateLowProcess[] = L"\r\nCreateLowProcess%s:%s\r\n";
constexpr wchar_t kLogOpenProcessTokenFailed[] = L"OpenProcessToken failed. Last Error is:%d\r\n";
constexpr wchar_t kLogShellExecuteFailed[] = L"[setup]ShellExecute %s failed: %d\r\n";
constexpr wchar_t kLogLaunchTextTooLong[] = L"[setup]launch of %s refused: its text is too long\r\n";
constexpr wchar_t kLogTaskStepFailed[] = L"[setup]task %s: %s failed: 0x%08lX\r\n";
constexpr wchar_t kLogTaskNotRunning[] = L"[setup]task %s did not reach the running state\r\n";
constexpr wchar_t kLogTaskFallback[] = L"[setup]the task did not start %s: it is started with the user's token\r\n";
constexpr wchar_t kLogNoShellWindow[] = L"[setup]no shell window: the user's token is taken from explorer.exe\r\n";
constexpr wchar_t kLogUserTokenStepFailed[] = L"[setup]token of process %lu: %s failed: %d\r\n";
constexpr wchar_t kLogNoUserToken[] =
    L"[setup]%s not started: no token of the logged-on user, and the own one is elevated\r\n";
constexpr wchar_t kLogCreateProcessWithTokenMissing[] = L"[setup]CreateProcessWithTokenW is not available\r\n";
constexpr wchar_t kLogStartFailed[] = L"[setup]%s of %s failed: %d\r\n";
constexpr wchar_t kLogStillRunning[] = L"[setup]%s still runs after %lu ms; it is left running\r\n";

}  // namespace deploy
