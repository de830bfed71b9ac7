// Stand-in for "VTService.dll", a service DLL for the shared service host: ServiceMain registers
// a control handler, reports running, and stops when asked. Start and stop are recorded.
#include <windows.h>

#include "payload/evidence.h"

namespace {

constexpr wchar_t kProgram[] = L"VTService";
SERVICE_STATUS_HANDLE g_statusHandle = nullptr;
HANDLE g_stopEvent = nullptr;

void ReportState(DWORD state) {
    SERVICE_STATUS status = {};
    status.dwServiceType = SERVICE_WIN32_SHARE_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    SetServiceStatus(g_statusHandle, &status);
}

DWORD WINAPI Handler(DWORD control, DWORD, LPVOID, LPVOID) {
    if (control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_SHUTDOWN) {
        ReportState(SERVICE_STOP_PENDING);
        SetEvent(g_stopEvent);
        return NO_ERROR;
    }
    return control == SERVICE_CONTROL_INTERROGATE ? NO_ERROR : ERROR_CALL_NOT_IMPLEMENTED;
}

}  // namespace

extern "C" __declspec(dllexport) void WINAPI ServiceMain(DWORD argc, LPWSTR* argv) {
    const wchar_t* name = argc > 0 && argv ? argv[0] : kProgram;
    g_statusHandle = RegisterServiceCtrlHandlerExW(name, Handler, nullptr);
    if (g_statusHandle == nullptr) return;
    g_stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ReportState(SERVICE_RUNNING);
    standin::Record(kProgram, L"running", name);
    WaitForSingleObject(g_stopEvent, INFINITE);
    CloseHandle(g_stopEvent);
    standin::Record(kProgram, L"stopped", name);
    ReportState(SERVICE_STOPPED);
}
