// The process entry of the setup program.
#include <windows.h>

#include <cwchar>

#include "app/install_controller.h"
#include "diag/install_log.h"
#include "diag/library_search.h"
#include "diag/trace_marks.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
    trace::Mark(L"wWinMain entered");
    diag::RestrictLibrarySearchToSystem();
    // The log is not open yet, so this line only reaches it if it was opened earlier.
    InstallLog::Format(L"[日志]lpCmdLine == %s \r\n", commandLine ? commandLine : L"");

    InstallController controller;
    if (!controller.Init(instance)) return -1;
    const int result = controller.Run();
    trace::Mark(L"window ended");
    controller.Uninit();
    trace::Mark(L"wWinMain returns");
    // A worker that would not stop may still use the process's static objects. Ending the process
    // here ends that thread first, before any static object is destroyed.
    if (!controller.EngineStopped()) ExitProcess(static_cast<UINT>(result));
    return result;
}
