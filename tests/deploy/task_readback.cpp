#include "task_readback.h"

#include <windows.h>

#include <taskschd.h>

#include "diag/scoped_com.h"

bool ReadRegisteredTaskXml(const std::wstring& taskName, std::wstring& xml) {
    diag::ScopedComApartment apartment(COINIT_APARTMENTTHREADED);
    diag::ScopedComPointer<ITaskService> service;
    if (FAILED(CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                                reinterpret_cast<void**>(service.Receive())))) {
        return false;
    }
    VARIANT empty;
    VariantInit(&empty);
    if (FAILED(service.Get()->Connect(empty, empty, empty, empty))) return false;
    diag::ScopedComPointer<ITaskFolder> root;
    diag::ScopedBstr rootName(SysAllocString(L"\\"));
    if (FAILED(service.Get()->GetFolder(rootName.Get(), root.Receive()))) return false;
    diag::ScopedComPointer<IRegisteredTask> task;
    diag::ScopedBstr name(SysAllocString(taskName.c_str()));
    if (FAILED(root.Get()->GetTask(name.Get(), task.Receive()))) return false;
    diag::ScopedBstr text;
    if (FAILED(task.Get()->get_Xml(text.Receive())) || !text.IsValid()) return false;
    xml = text.Get();
    return true;
}
