#include "deploy/shared_service.h"

#include <sddl.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <vector>

#include "deploy/file_system.h"
#include "deploy/registered_path.h"
#include "deploy/registration_removal_constants.h"
#include "deploy/registry_keys.h"
#include "deploy/registry_value.h"
#include "deploy/shared_service_constants.h"
#include "diag/text_format.h"
#include "diag/install_log.h"
#include "diag/service_handle.h"

namespace {

// The manager and the service take half a second to act on a stop or a deletion request.
constexpr DWORD kServiceSettleMilliseconds = 500;

// The host must match the DLL's architecture, which is the setup program's own: the shipped
// 32-bit setup takes the 32-bit host (the WOW64 system folder on 64-bit Windows); a 64-bit
// build with its 64-bit DLL takes the native one.
#ifdef _WIN64
constexpr int kHostFolder = CSIDL_SYSTEM;
#else
constexpr int kHostFolder = CSIDL_SYSTEMX86;
#endif

bool LogFailure(const wchar_t* call, const std::wstring& subject, DWORD error) {
    InstallLog::Format(deploy::kLogServiceCallFailed, call, subject.c_str(), error);
    return false;
}
bool LogLastError(const wchar_t* call, const std::wstring& subject) {
    return LogFailure(call, subject, GetLastError());
}

bool OpenManager(diag::ScopedServiceHandle& manager, const std::wstring& subject) {
    manager.Reset(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    return manager.IsValid() || LogLastError(L"OpenSCManagerW", subject);
}

std::wstring ExpandedPath(const std::wstring& path) {
    const DWORD needed = ExpandEnvironmentStringsW(path.c_str(), nullptr, 0);
    if (needed == 0) return path;
    std::vector<wchar_t> expanded(needed + 1, L'\0');
    if (ExpandEnvironmentStringsW(path.c_str(), expanded.data(), needed + 1) == 0) return path;
    return expanded.data();
}

// "ServiceDll" of the service's "Parameters" key, its environment strings expanded; empty when the
// key or the value is missing.
std::wstring ReadServiceDll(const std::wstring& serviceName) {
    const std::wstring parametersPath =
        FormatText(deploy::kServiceKeyFormat, serviceName.c_str()) + L"\\" + deploy::kServiceParametersKey;
    diag::ScopedRegKey parameters;
    std::wstring dllPath;
    if (!OpenKeyForReading(HKEY_LOCAL_MACHINE, parametersPath.c_str(), parameters) ||
        !ReadStringValue(parameters.Get(), deploy::kValueServiceDll, dllPath)) {
        return std::wstring();
    }
    return ExpandedPath(dllPath);
}

// Deletes the svchost group value `groupName` when it lists `serviceName` and nothing else. True
// when no such value is left.
bool RemoveSvchostGroup(const std::wstring& serviceName, const std::wstring& groupName) {
    // The same view of the registry as AddSvchostGroup: no WOW64 flag either way.
    diag::ScopedRegKey key;
    LONG result =
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, deploy::kSvchostKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, key.Receive());
    if (result == ERROR_FILE_NOT_FOUND) return true;
    if (result != ERROR_SUCCESS) return LogFailure(L"RegOpenKeyExW", deploy::kSvchostKey, result);
    result = RegQueryValueExW(key.Get(), groupName.c_str(), nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_FILE_NOT_FOUND) return true;

    std::vector<std::wstring> services;
    ReadMultiStringValue(key.Get(), groupName.c_str(), services);
    bool onlyOurs = !services.empty();
    std::wstring listed;
    for (const std::wstring& service : services) {
        if (_wcsicmp(service.c_str(), serviceName.c_str()) != 0) onlyOurs = false;
        listed += (listed.empty() ? L"" : L" ") + service;
    }
    if (!onlyOurs) {
        InstallLog::Format(deploy::kLogUndoKeptGroup, groupName.c_str(), listed.c_str());
        return true;
    }
    result = RegDeleteValueW(key.Get(), groupName.c_str());
    if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND)
        return LogFailure(L"RegDeleteValueW", groupName, result);
    InstallLog::Format(deploy::kLogUndoRemoved, L"HKLM", deploy::kSvchostKey, groupName.c_str());
    return true;
}

}  // namespace

bool HostImagePath(const std::wstring& groupName, std::wstring& imagePath) {
    wchar_t host[MAX_PATH] = {};
    const HRESULT result = SHGetFolderPathW(nullptr, kHostFolder, nullptr, SHGFP_TYPE_CURRENT, host);
    if (FAILED(result)) {
        InstallLog::Format(deploy::kLogServiceSystemFolder, static_cast<unsigned long>(result));
        return false;
    }
    if (!PathAppendW(host, deploy::kServiceHostFileName) || !FileExists(host)) {
        InstallLog::Format(deploy::kLogServiceHostMissing, host);
        return false;
    }
    imagePath = FormatText(deploy::kServiceImagePathFormat, host, groupName.c_str());
    return true;
}

bool AddSvchostGroup(const std::wstring& serviceName, const std::wstring& groupName) {
    diag::ScopedRegKey key;
    LONG result = RegOpenKeyExW(HKEY_LOCAL_MACHINE, deploy::kSvchostKey, 0, KEY_SET_VALUE, key.Receive());
    if (result != ERROR_SUCCESS) return LogFailure(L"RegOpenKeyExW", deploy::kSvchostKey, result);

    // The group's services, each with its terminating NUL, then the NUL that ends the list.
    std::vector<wchar_t> services(serviceName.begin(), serviceName.end());
    services.push_back(L'\0');
    services.push_back(L'\0');
    result = RegSetValueExW(key.Get(), groupName.c_str(), 0, REG_MULTI_SZ,
                            reinterpret_cast<const BYTE*>(services.data()),
                            static_cast<DWORD>(services.size() * sizeof(wchar_t)));
    if (result != ERROR_SUCCESS) return LogFailure(L"RegSetValueExW", groupName, result);
    return true;
}

bool ServiceExists(const std::wstring& name, bool& exists) {
    diag::ScopedServiceHandle manager;
    if (!OpenManager(manager, name)) return false;
    diag::ScopedServiceHandle service(OpenServiceW(manager.Get(), name.c_str(), SERVICE_QUERY_CONFIG));
    if (service.IsValid()) {
        exists = true;
        return true;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_SERVICE_DOES_NOT_EXIST) return LogFailure(L"OpenServiceW", name, error);
    exists = false;
    return true;
}

bool DeleteServiceAndWait(const std::wstring& name) {
    diag::ScopedServiceHandle manager;
    if (!OpenManager(manager, name)) return false;
    diag::ScopedServiceHandle service(OpenServiceW(manager.Get(), name.c_str(), SERVICE_STOP | DELETE));
    if (!service.IsValid()) return LogLastError(L"OpenServiceW", name);

    SERVICE_STATUS status = {};
    ControlService(service.Get(), SERVICE_CONTROL_STOP, &status);  // a stopped service refuses; fine
    if (!DeleteService(service.Get())) return LogLastError(L"DeleteService", name);
    // The entry disappears once the last handle is closed and the service has stopped.
    service.Reset();
    Sleep(kServiceSettleMilliseconds);

    bool exists = true;
    if (!ServiceExists(name, exists)) return false;
    if (exists) InstallLog::Format(deploy::kLogServiceStillPresent, name.c_str());
    return !exists;
}

bool SetServiceDescription(const std::wstring& description, SC_HANDLE service) {
    std::vector<wchar_t> text(description.begin(), description.end());
    text.resize(description.size() + 10, L'\0');
    SERVICE_DESCRIPTIONW config = {text.data()};
    if (!ChangeServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, &config))
        return LogLastError(L"ChangeServiceConfig2W", deploy::kServiceName);
    return true;
}

bool OpenServiceAccess(SC_HANDLE service) {
    diag::ScopedLocalMemory descriptor;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
            deploy::kServiceAccessList, SDDL_REVISION_1,
            reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.Receive()), nullptr)) {
        return LogLastError(L"ConvertStringSecurityDescriptorToSecurityDescriptorW", deploy::kServiceName);
    }
    if (!SetServiceObjectSecurity(service, DACL_SECURITY_INFORMATION, descriptor.Get()))
        return LogLastError(L"SetServiceObjectSecurity", deploy::kServiceName);
    return true;
}

bool CreateSharedService(const std::wstring& name, const std::wstring& displayName,
                         const std::wstring& description, const std::wstring& imagePath) {
    bool exists = false;
    if (!ServiceExists(name, exists)) return false;
    // A failed deletion shows in the second question below.
    if (exists) DeleteServiceAndWait(name);
    if (!ServiceExists(name, exists)) return false;
    if (exists) {
        InstallLog::Format(deploy::kLogServiceStillPresent, name.c_str());
        return false;
    }

    diag::ScopedServiceHandle manager;
    if (!OpenManager(manager, name)) return false;
    diag::ScopedServiceHandle service(CreateServiceW(
        manager.Get(), name.c_str(), displayName.c_str(), SERVICE_ALL_ACCESS, SERVICE_WIN32_SHARE_PROCESS,
        SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, imagePath.c_str(), nullptr, nullptr, nullptr, nullptr,
        nullptr));
    if (!service.IsValid()) return LogLastError(L"CreateServiceW", name);
    const bool described = SetServiceDescription(description, service.Get());
    const bool opened = OpenServiceAccess(service.Get());
    return described && opened;
}

bool WriteServiceDll(const std::wstring& serviceName, const std::wstring& dllPath) {
    const std::wstring servicePath = FormatText(deploy::kServiceKeyFormat, serviceName.c_str());
    diag::ScopedRegKey serviceKey;
    LONG result = RegOpenKeyExW(HKEY_LOCAL_MACHINE, servicePath.c_str(), 0, KEY_CREATE_SUB_KEY, serviceKey.Receive());
    if (result != ERROR_SUCCESS) return LogFailure(L"RegOpenKeyExW", servicePath, result);

    // A key left by an earlier install may hold values of its own: start from an empty one.
    RegDeleteKeyW(serviceKey.Get(), deploy::kServiceParametersKey);
    diag::ScopedRegKey parameters;
    result = RegCreateKeyExW(serviceKey.Get(), deploy::kServiceParametersKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                             KEY_SET_VALUE, nullptr, parameters.Receive(), nullptr);
    if (result != ERROR_SUCCESS) return LogFailure(L"RegCreateKeyExW", deploy::kServiceParametersKey, result);
    result = RegSetValueExW(parameters.Get(), deploy::kValueServiceDll, 0, REG_EXPAND_SZ,
                            reinterpret_cast<const BYTE*>(dllPath.c_str()),
                            static_cast<DWORD>((dllPath.size() + 1) * sizeof(wchar_t)));
    if (result != ERROR_SUCCESS) return LogFailure(L"RegSetValueExW", deploy::kValueServiceDll, result);
    return true;
}

bool RegisterSharedService(const std::wstring& dllPath) {
    if (!FileExists(dllPath)) {
        InstallLog::Format(deploy::kLogServiceDllMissing, dllPath.c_str());
        return false;
    }
    std::wstring imagePath;
    if (!HostImagePath(deploy::kServiceGroupName, imagePath)) return false;
    if (!AddSvchostGroup(deploy::kServiceName, deploy::kServiceGroupName)) return false;
    if (!CreateSharedService(deploy::kServiceName, deploy::kServiceDisplayName, deploy::kServiceDescription,
                             imagePath)) {
        return false;
    }
    if (!WriteServiceDll(deploy::kServiceName, dllPath)) return false;
    InstallLog::Format(deploy::kLogServiceRegistered, deploy::kServiceName, dllPath.c_str());
    return true;
}

bool UnregisterSharedService(const std::vector<std::wstring>& dllPaths) {
    std::vector<std::wstring> ours;
    for (const std::wstring& path : dllPaths) {
        if (!path.empty()) ours.push_back(ExpandedPath(path));
    }
    if (ours.empty()) {
        InstallLog::Format(deploy::kLogUndoNoPath, L"UnregisterSharedService");
        return false;
    }
    bool exists = false;
    if (!ServiceExists(deploy::kServiceName, exists)) return false;
    if (exists) {
        const std::wstring registered = ReadServiceDll(deploy::kServiceName);
        std::wstring listed;
        bool named = false;
        for (const std::wstring& path : ours) {
            named = named || NamesSamePath(registered, path);
            listed += (listed.empty() ? L"" : L" or ") + path;
        }
        if (!named) {
            // Another install's service runs from its own group: both stay.
            InstallLog::Format(deploy::kLogUndoKeptService, deploy::kServiceName, registered.c_str(), listed.c_str());
            return true;
        }
        if (!DeleteServiceAndWait(deploy::kServiceName)) return false;
        InstallLog::Format(deploy::kLogUndoServiceRemoved, deploy::kServiceName);
    }
    // Without the service nothing uses the group: only this product writes it.
    return RemoveSvchostGroup(deploy::kServiceName, deploy::kServiceGroupName);
}

bool UnregisterSharedService(const std::wstring& dllPath) {
    return UnregisterSharedService(std::vector<std::wstring>{dllPath});
}
