// The one-shot task through the Task Scheduler 2.0 interfaces.
#include "deploy/task_scheduler.h"

#include <taskschd.h>

#include "deploy/launch_constants.h"
#include "diag/com_owner.h"
#include "diag/install_log.h"

namespace deploy {
namespace {

using diag::ComOwner;
using diag::ScopedBstr;

HRESULT Logged(const std::wstring& name, const wchar_t* step, HRESULT result) {
    if (FAILED(result)) InstallLog::Format(kLogTaskStepFailed, name.c_str(), step, static_cast<unsigned long>(result));
    return result;
}

class ComTaskScheduler final : public TaskScheduler {
public:
    HRESULT Open() override {
        HRESULT result = CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                                          m_service.ReceiveVoid());
        if (FAILED(result)) return Logged(kTaskRootFolder, L"CoCreateInstance", result);
        VARIANT empty;
        VariantInit(&empty);
        if (FAILED(result = m_service->Connect(empty, empty, empty, empty))) {
            return Logged(kTaskRootFolder, L"Connect", result);
        }
        ScopedBstr rootName(kTaskRootFolder);
        return Logged(kTaskRootFolder, L"GetFolder", m_service->GetFolder(rootName.Get(), m_root.Receive()));
    }

    HRESULT DeleteTask(const std::wstring& name) override {
        ScopedBstr taskName(name.c_str());
        return m_root->DeleteTask(taskName.Get(), 0);
    }

    HRESULT Register(const OneShotTask& task) override {
        ComOwner<ITaskDefinition> definition;
        HRESULT result = m_service->NewTask(0, definition.Receive());
        m_service.Reset();  // the folder is all that is needed from here on
        if (FAILED(result)) return Logged(task.name, L"NewTask", result);
        if (FAILED(result = Describe(definition.Get(), task))) return result;

        ScopedBstr name(task.name.c_str());
        ScopedBstr security(task.securityDescriptor.c_str());
        VARIANT none;
        VariantInit(&none);
        VARIANT securityText;
        VariantInit(&securityText);
        securityText.vt = VT_BSTR;
        securityText.bstrVal = security.Get();
        result = m_root->RegisterTaskDefinition(name.Get(), definition.Get(), task.creationFlags, none, none,
                                                static_cast<TASK_LOGON_TYPE>(task.logonType), securityText,
                                                m_registered.Receive());
        return Logged(task.name, L"RegisterTaskDefinition", result);
    }

    bool IsRunning() override {
        TASK_STATE state = TASK_STATE_UNKNOWN;
        return m_registered.IsValid() && SUCCEEDED(m_registered->get_State(&state)) && state == TASK_STATE_RUNNING;
    }

private:
    static HRESULT Describe(ITaskDefinition* definition, const OneShotTask& task) {
        ComOwner<IPrincipal> principal;
        HRESULT result = definition->get_Principal(principal.Receive());
        if (FAILED(result)) return Logged(task.name, L"get_Principal", result);
        ScopedBstr principalId(task.principalId.c_str());
        ScopedBstr userId(task.userId.c_str());
        if (FAILED(result = principal->put_Id(principalId.Get()))) return Logged(task.name, L"put_Id", result);
        if (FAILED(result = principal->put_LogonType(static_cast<TASK_LOGON_TYPE>(task.logonType)))) {
            return Logged(task.name, L"put_LogonType", result);
        }
        if (FAILED(result = principal->put_RunLevel(static_cast<TASK_RUNLEVEL_TYPE>(task.runLevel)))) {
            return Logged(task.name, L"put_RunLevel", result);
        }
        if (FAILED(result = principal->put_UserId(userId.Get()))) return Logged(task.name, L"put_UserId", result);

        ComOwner<ITriggerCollection> triggers;
        ComOwner<ITrigger> trigger;
        if (FAILED(result = definition->get_Triggers(triggers.Receive())) ||
            FAILED(result = triggers->Create(static_cast<TASK_TRIGGER_TYPE2>(task.triggerType), trigger.Receive()))) {
            return Logged(task.name, L"trigger", result);
        }

        ComOwner<IActionCollection> actions;
        ComOwner<IAction> action;
        ComOwner<IExecAction> execAction;
        if (FAILED(result = definition->get_Actions(actions.Receive())) ||
            FAILED(result = actions->Create(static_cast<TASK_ACTION_TYPE>(task.actionType), action.Receive())) ||
            FAILED(result = action->QueryInterface(IID_IExecAction, execAction.ReceiveVoid()))) {
            return Logged(task.name, L"action", result);
        }
        ScopedBstr path(task.path.c_str());
        ScopedBstr arguments(task.arguments.c_str());
        if (FAILED(result = execAction->put_Path(path.Get())) ||
            FAILED(result = execAction->put_Arguments(arguments.Get()))) {
            return Logged(task.name, L"action", result);
        }
        return S_OK;
    }

    ComOwner<ITaskService> m_service;
    ComOwner<ITaskFolder> m_root;
    ComOwner<IRegisteredTask> m_registered;
};

}  // namespace

std::unique_ptr<TaskScheduler> MakeComTaskScheduler() { return std::make_unique<ComTaskScheduler>(); }

}  // namespace deploy
