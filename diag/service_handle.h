#pragma once

#include <windows.h>

#include "diag/win_handle.h"

namespace diag {

// A handle of the service control manager or of one service (released with CloseServiceHandle).
struct ServiceHandleTraits {
    using Value = SC_HANDLE;
    static SC_HANDLE None() { return nullptr; }
    static bool IsValid(SC_HANDLE handle) { return handle != nullptr; }
    static void Close(SC_HANDLE handle) { CloseServiceHandle(handle); }
};
using ScopedServiceHandle = ScopedResource<ServiceHandleTraits>;

// Memory from LocalAlloc, such as a security descriptor built from its text form (LocalFree).
struct LocalMemoryTraits {
    using Value = HLOCAL;
    static HLOCAL None() { return nullptr; }
    static bool IsValid(HLOCAL memory) { return memory != nullptr; }
    static void Close(HLOCAL memory) { LocalFree(memory); }
};
using ScopedLocalMemory = ScopedResource<LocalMemoryTraits>;

}  // namespace diag
