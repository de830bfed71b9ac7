#include "service_test_support.h"

namespace {

const wchar_t kService[] = L"PeloraService";
const wchar_t kSvchostKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Svchost";

}  // namespace

SC_HANDLE OpenTestService(DWORD access) {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager) return nullptr;
    SC_HANDLE service = OpenServiceW(manager, kService, access);
    CloseServiceHandle(manager);
    return service;
}

bool IsRegistered() {
    SC_HANDLE service = OpenTestService(SERVICE_QUERY_CONFIG);
    if (!service) return false;
    CloseServiceHandle(service);
    return true;
}

void RemoveTestService() {
    if (SC_HANDLE service = OpenTestService(DELETE)) {
        DeleteService(service);
        CloseServiceHandle(service);
    }
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSvchostKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, kService);
        RegCloseKey(key);
    }
}
