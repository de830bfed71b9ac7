#pragma once

#include <windows.h>

#include <memory>
#include <string>

// The Task Scheduler as the one-shot launch task uses it: open the root folder, delete a task by
// name, register one task, ask whether it runs. The real one speaks the version 2 COM interface;
// tests put in their own to see what is asked for.
namespace deploy {

// What the launch asks the scheduler to register, with the scheduler's own codes.
struct OneShotTask {
    std::wstring name;
    std::wstring principalId;
    std::wstring userId;
    int logonType = 0;    // TASK_LOGON_TYPE
    int runLevel = 0;     // TASK_RUNLEVEL_TYPE
    int triggerType = 0;  // TASK_TRIGGER_TYPE2
    int actionType = 0;   // TASK_ACTION_TYPE
    std::wstring path;
    std::wstring arguments;
    int creationFlags = 0;  // TASK_CREATION
    std::wstring securityDescriptor;
};

class TaskScheduler {
public:
    virtual ~TaskScheduler() = default;
    // Connects to the local scheduler and opens its root folder "\".
    virtual HRESULT Open() = 0;
    virtual HRESULT DeleteTask(const std::wstring& name) = 0;
    // Builds the definition and registers it; the registered task is the one IsRunning asks about.
    virtual HRESULT Register(const OneShotTask& task) = 0;
    virtual bool IsRunning() = 0;
};

// The version 2 COM scheduler; COM must be initialised on the calling thread. Every failing call
// writes its install-log line.
std::unique_ptr<TaskScheduler> MakeComTaskScheduler();

// For tests: the scheduler the launch uses instead of the COM one (nullptr restores it). The
// function is called once per launch; not thread-safe.
using TaskSchedulerFactory = std::unique_ptr<TaskScheduler> (*)();
void SetTaskSchedulerForTesting(TaskSchedulerFactory factory);

}  // namespace deploy
