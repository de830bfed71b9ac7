// The one-shot task through the Task Scheduler 2.0 interfaces.
#include "deploy/task_scheduler.h"

#include <taskschd.h>

#include "deploy/launch_constants.h"
#include "diag/scoped_com.h"
#include "diag/install_log.h"

namespace deploy {
namespace {

using diag::ScopedComPointer;
using diag::ScopedBstr;

HRESULT Logged(const std::wstring& name, const wchar_t* step, HRESULT result) {
    if (FAILED(result)) InstallLog::Format(kLogTaskStepFailed, name.c_str(), step, static_cast<unsigned long>(result));
    return result;
}

class ComTaskScheduler final : public TaskScheduler {
public:
    HRESULT Open() override {
        HRESULT result = CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                                          reinterpret_cast<void**>(m_service.Receive()));
        if (FAILED(result)) return Logged(kTaskRootFolder, L"CoCreateInstance", result);
        VARIANT empty;
        VariantInit(&empty);
        if (FAILED(result = m_service.Get()->Connect(empty, empty, empty, empty))) {
            return Logged(kTaskRootFolder, L"Connect", result);
        }
        ScopedBstr rootName(SysAllocString(kTaskRootFolder));
        return Logged(kTaskRootFolder, L"GetFolder", m_service.Get()->GetFolder(rootName.Get(), m_root.Receive()));
    }

    HRESULT DeleteTask(const std::wstring& name) override {
        ScopedBstr taskName(SysAllocString(name.c_str()));
        return m_root.Get()->DeleteTask(taskName.Get(), 0);
    }

    HRESULT Register(const OneShotTask& task) override {
        ScopedComPointer<ITaskDefinition> definition;
        HRESULT result = m_service.Get()->NewTask(0, definition.Receive());
        m_service.Reset();  // the folder is all that is needed from here on
        if (FAILED(result)) return Logged(task.name, L"NewTask", result);
        if (FAILED(result = Describe(definition.Get(), task))) return result;

        ScopedBstr name(SysAllocString(task.name.c_str()));
        ScopedBstr security(SysAllocString(task.securityDescriptor.c_str()));
        VARIANT none;
        VariantInit(&none);
        VARIANT securityText;
        VariantInit(&securityText);
        securityText.vt = VT_BSTR;
        securityText.bstrVal = security.Get();
        result = m_root.Get()->RegisterTaskDefinition(name.Get(), definition.Get(), task.creationFlags, none, none,
                                                static_cast<TASK_LOGON_TYPE>(task.logonType), securityText,
                                                m_registered.Receive());
        return Logged(task.name, L"RegisterTaskDefinition", result);
    }

    bool IsRunning() override {
        TASK_STATE state = TASK_STATE_UNKNOWN;
        return m_registered.IsValid() && SUCCEEDED(m_registered.Get()->get_State(&state)) && state == TASK_STATE_RUNNING;
    }

private:
    static HRESULT Describe(ITaskDefinition* definition, const OneShotTask& task) {
        ScopedComPointer<IPrincipal> principal;
        HRESULT result = definition->get_Principal(principal.Receive());
        if (FAILED(result)) return Logged(task.name, L"get_Principal", result);
        ScopedBstr principalId(SysAllocString(task.principalId.c_str()));
        ScopedBstr userId(SysAllocString(task.userId.c_str()));
        if (FAILED(result = principal.Get()->put_Id(principalId.Get()))) return Logged(task.name, L"put_Id", result);
        if (FAILED(result = principal.Get()->put_LogonType(static_cast<TASK_LOGON_TYPE>(task.logonType)))) {
            return Logged(task.name, L"put_LogonType", result);
        }
        if (FAILED(result = principal.Get()->put_RunLevel(static_cast<TASK_RUNLEVEL_TYPE>(task.runLevel)))) {
            return Logged(task.name, L"put_RunLevel", result);
        }
        if (FAILED(result = principal.Get()->put_UserId(userId.Get()))) return Logged(task.name, L"put_UserId", result);

        ScopedComPointer<ITriggerCollection> triggers;
        ScopedComPointer<ITrigger> trigger;
        if (FAILED(result = definition->get_Triggers(triggers.Receive())) ||
            FAILED(result = triggers.Get()->Create(static_cast<TASK_TRIGGER_TYPE2>(task.triggerType), trigger.Receive()))) {
            return Logged(task.name, L"trigger", result);
        }

        ScopedComPointer<IActionCollection> actions;
        ScopedComPointer<IAction> action;
        ScopedComPointer<IExecAction> execAction;
        if (FAILED(result = definition->get_Actions(actions.Receive())) ||
            FAILED(result = actions.Get()->Create(static_cast<TASK_ACTION_TYPE>(task.actionType), action.Receive())) ||
            FAILED(result = action.Get()->QueryInterface(IID_IExecAction, reinterpret_cast<void**>(execAction.Receive())))) {
            return Logged(task.name, L"action", result);
        }
        ScopedBstr path(SysAllocString(task.path.c_str()));
        ScopedBstr arguments(SysAllocString(task.arguments.c_str()));
        if (FAILED(result = execAction.Get()->put_Path(path.Get())) ||
            FAILED(result = execAction.Get()->put_Arguments(arguments.Get()))) {
            return Logged(task.name, L"action", result);
        }
        return S_OK;
    }

    ScopedComPointer<ITaskService> m_service;
    ScopedComPointer<ITaskFolder> m_root;
    ScopedComPointer<IRegisteredTask> m_registered;
};

}  // namespace

std::unique_ptr<TaskScheduler> MakeComTaskScheduler() { return std::make_unique<ComTaskScheduler>(); }

}  // namespace deploy
