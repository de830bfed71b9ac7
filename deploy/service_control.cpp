#include "deploy/service_control.h"

#include <windows.h>

#include "deploy/previous_install_constants.h"
#include "deploy/shared_service_constants.h"
#include "diag/service_handle.h"

namespace {

constexpr DWORD kStopPauseMs = 500;

using diag::ScopedServiceHandle;

}  // namespace

bool StopService() {
    ScopedServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager.IsValid()) return false;
    ScopedServiceHandle service(
        OpenServiceW(manager.Get(), deploy::kServiceName, SERVICE_STOP | SERVICE_QUERY_STATUS));
    if (!service.IsValid()) return false;
    SERVICE_STATUS status = {};
    if (!ControlService(service.Get(), SERVICE_CONTROL_STOP, &status))
        return GetLastError() == ERROR_SERVICE_NOT_ACTIVE;
    Sleep(kStopPauseMs);
    return QueryServiceStatus(service.Get(), &status) && status.dwCurrentState == SERVICE_STOPPED;
}
