#pragma once

#include <windows.h>

// The service "PeloraService" as the service tests see it, registered by the code under test.

// Opens the service with `access`; null when it is not there.
SC_HANDLE OpenTestService(DWORD access);
bool IsRegistered();
// Deletes the service and its svchost group value, whatever registered them.
void RemoveTestService();
