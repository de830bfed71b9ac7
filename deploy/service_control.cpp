#include "deploy/service_control.h"

#include <windows.h>

#include "deploy/previous_install_constants.h"
#include "diag/win_handle.h"

namespace {

constexpr DWORD kStopPauseMs = 500;

// A handle of the service control manager or of one service.
struct ServiceHandleTraits {
    using Value = SC_HANDLE;
    static SC_HANDLE None() { return nullptr; }
    static bool IsValid(SC_HANDLE handle) { return handle != nullptr; }
    static void Close(SC_HANDLE handle) { CloseServiceHandle(handle); }
};
using ScopedServiceHandle = diag::ScopedResource<ServiceHandleTraits>;

}  // namespace

bool StopService() {
    ScopedServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager.IsValid()) return false;
    ScopedServiceHandle service(
        OpenServiceW(manager.Get(), deploy::kSharedServiceName, SERVICE_STOP | SERVICE_QUERY_STATUS));
    if (!service.IsValid()) return false;
    SERVICE_STATUS status = {};
    if (!ControlService(service.Get(), SERVICE_CONTROL_STOP, &status))
        return GetLastError() == ERROR_SERVICE_NOT_ACTIVE;
    Sleep(kStopPauseMs);
    return QueryServiceStatus(service.Get(), &status) && status.dwCurrentState == SERVICE_STOPPED;
}
