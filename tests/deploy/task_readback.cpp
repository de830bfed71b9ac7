#include "task_readback.h"

#include <windows.h>

#include <taskschd.h>

#include "diag/com_owner.h"

bool ReadRegisteredTaskXml(const std::wstring& taskName, std::wstring& xml) {
    diag::ScopedComApartment apartment;
    diag::ComOwner<ITaskService> service;
    if (FAILED(CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                                service.ReceiveVoid()))) {
        return false;
    }
    VARIANT empty;
    VariantInit(&empty);
    if (FAILED(service->Connect(empty, empty, empty, empty))) return false;
    diag::ComOwner<ITaskFolder> root;
    diag::ScopedBstr rootName(L"\\");
    if (FAILED(service->GetFolder(rootName.Get(), root.Receive()))) return false;
    diag::ComOwner<IRegisteredTask> task;
    diag::ScopedBstr name(taskName.c_str());
    if (FAILED(root->GetTask(name.Get(), task.Receive()))) return false;
    diag::ScopedBstr text;
    if (FAILED(task->get_Xml(text.Receive())) || !text.IsValid()) return false;
    xml = text.Get();
    return true;
}
