#include "deploy/scheduled_task.h"

#include <windows.h>

#include <taskschd.h>
#include <wtsapi32.h>

#include <cwchar>

#include "deploy/launch_constants.h"
#include "deploy/task_scheduler.h"
#include "diag/scoped_com.h"
#include "diag/install_log.h"

namespace {

deploy::TaskSchedulerFactory g_schedulerFactory = nullptr;
deploy::TaskRegisteredFunction g_taskRegistered = nullptr;
void* g_taskRegisteredContext = nullptr;
int g_statePolls = deploy::kTaskStatePolls;
unsigned g_statePollMs = deploy::kTaskStatePollMs;

// One answer of WTSQuerySessionInformationW, empty when the query fails; false when it is too long.
bool QuerySessionText(DWORD session, WTS_INFO_CLASS what, std::wstring& text) {
    text.clear();
    LPWSTR answer = nullptr;
    DWORD bytes = 0;
    if (!WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, session, what, &answer, &bytes) || !answer) {
        return true;
    }
    const bool fits = wcslen(answer) < static_cast<size_t>(deploy::kLaunchTextCapacity);
    if (fits) text = answer;
    WTSFreeMemory(answer);
    return fits;
}

// The task that runs `exePath` once, as the session user with that user's interactive token and
// least privilege, as soon as it is registered.
deploy::OneShotTask DescribeTask(const std::wstring& arguments, const std::wstring& exePath,
                                 const std::wstring& taskName) {
    deploy::OneShotTask task;
    task.name = taskName;
    task.principalId = deploy::kTaskPrincipalId;
    SessionUserName(task.userId);
    task.logonType = TASK_LOGON_INTERACTIVE_TOKEN;
    task.runLevel = TASK_RUNLEVEL_LUA;
    task.triggerType = TASK_TRIGGER_REGISTRATION;
    task.actionType = TASK_ACTION_EXEC;
    task.path = exePath;
    task.arguments = arguments;
    task.creationFlags = TASK_CREATE;
    return task;
}

}  // namespace

bool SessionUserName(std::wstring& userName) {
    DWORD session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    std::wstring user;
    std::wstring domain;
    if (!QuerySessionText(session, WTSUserName, user) || !QuerySessionText(session, WTSDomainName, domain)) {
        return false;
    }
    const std::wstring full = domain + L"\\" + user;
    if (full.size() > static_cast<size_t>(deploy::kSessionUserNameLimit)) return false;
    userName = full;
    return true;
}

int RunThroughTask(const std::wstring& arguments, const std::wstring& exePath, const std::wstring& taskName,
                   bool* running) {
    if (running) *running = false;
    diag::ScopedComApartment apartment(COINIT_APARTMENTTHREADED);
    if (!apartment.IsUsable()) {
        InstallLog::Format(deploy::kLogTaskStepFailed, taskName.c_str(), L"CoInitialize",
                           static_cast<unsigned long>(apartment.Result()));
        return 1;
    }
    const HRESULT security = CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT_PRIVACY,
                                                  RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, 0, nullptr);
    // Security set earlier in the process (by this launch or by a component) is good enough.
    if (FAILED(security) && security != RPC_E_TOO_LATE) {
        InstallLog::Format(deploy::kLogTaskStepFailed, taskName.c_str(), L"CoInitializeSecurity",
                           static_cast<unsigned long>(security));
        return 1;
    }

    // Released before the apartment ends.
    std::unique_ptr<deploy::TaskScheduler> scheduler =
        g_schedulerFactory ? g_schedulerFactory() : deploy::MakeComTaskScheduler();
    if (FAILED(scheduler->Open())) return 1;
    scheduler->DeleteTask(taskName);  // a leftover of the same name, usually none
    if (FAILED(scheduler->Register(DescribeTask(arguments, exePath, taskName)))) return 1;

    if (g_taskRegistered) g_taskRegistered(taskName, g_taskRegisteredContext);
    bool seenRunning = false;
    for (int poll = 0; poll < g_statePolls && !seenRunning; ++poll) {
        seenRunning = scheduler->IsRunning();
        if (!seenRunning) Sleep(g_statePollMs);
    }
    if (!seenRunning) InstallLog::Format(deploy::kLogTaskNotRunning, taskName.c_str());
    if (running) *running = seenRunning;

    // The task has done its work once the program runs; it never stays in the library.
    const HRESULT deleted = scheduler->DeleteTask(taskName);
    if (FAILED(deleted)) {
        InstallLog::Format(deploy::kLogTaskStepFailed, taskName.c_str(), L"DeleteTask",
                           static_cast<unsigned long>(deleted));
        return 1;
    }
    return 0;
}

bool RunAsUser(const std::wstring& exePath, const std::wstring& arguments) {
    // Both texts go through buffers of 1024 characters; a cut path or argument would start
    // something else, so a longer one starts nothing.
    const size_t capacity = static_cast<size_t>(deploy::kLaunchTextCapacity);
    if (exePath.size() >= capacity || arguments.size() >= capacity) {
        InstallLog::Format(deploy::kLogLaunchTextTooLong, exePath.c_str());
        return false;
    }
    wchar_t taskName[32];
    _snwprintf(taskName, 32, deploy::kTaskNameFormat, static_cast<long>(GetTickCount()));
    taskName[31] = L'\0';
    bool running = false;
    RunThroughTask(arguments, exePath, taskName, &running);
    return running;
}

namespace deploy {

void SetTaskSchedulerForTesting(TaskSchedulerFactory factory) { g_schedulerFactory = factory; }

void SetTaskRegisteredForTesting(TaskRegisteredFunction function, void* context) {
    g_taskRegistered = function;
    g_taskRegisteredContext = context;
}

void SetTaskPollingForTesting(int polls, unsigned intervalMs) {
    g_statePolls = polls > 0 ? polls : kTaskStatePolls;
    g_statePollMs = polls > 0 ? intervalMs : kTaskStatePollMs;
}

}  // namespace deploy
