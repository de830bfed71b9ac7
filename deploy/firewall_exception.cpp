#include "deploy/firewall_exception.h"

// The firewall's class and interface identifiers are defined in this file only.
#include <initguid.h>
#include <netfw.h>

#include "deploy/file_system.h"
#include "deploy/firewall_constants.h"
#include "diag/install_log.h"
#include "diag/scoped_com.h"

namespace {

HRESULT LogFailure(const wchar_t* call, const std::wstring& subject, HRESULT result) {
    InstallLog::Format(deploy::kLogFirewallCallFailed, call, subject.c_str(), static_cast<unsigned long>(result));
    return result;
}

HRESULT OpenApplications(INetFwProfile* profile, const std::wstring& exePath,
                         diag::ScopedComPointer<INetFwAuthorizedApplications>& applications) {
    const HRESULT result = profile->get_AuthorizedApplications(applications.Receive());
    if (FAILED(result)) return LogFailure(L"get_AuthorizedApplications", exePath, result);
    return S_OK;
}

// Opens the current profile inside an apartment of the calling thread and runs `action` on it.
template <typename Action>
void WithFirewallProfile(FirewallProfileOpener openProfile, Action action) {
    diag::ScopedComApartment apartment(COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    if (!apartment.IsUsable()) {
        InstallLog::Format(deploy::kLogFirewallComFailed);
        return;
    }
    diag::ScopedComPointer<INetFwProfile> profile;
    if (SUCCEEDED(openProfile(profile.Receive())) && profile.IsValid()) action(profile.Get());
}

}  // namespace

HRESULT OpenFirewallProfile(INetFwProfile** profile) {
    *profile = nullptr;
    diag::ScopedComPointer<INetFwMgr> manager;
    HRESULT result = CoCreateInstance(CLSID_NetFwMgr, nullptr, CLSCTX_INPROC_SERVER, IID_INetFwMgr,
                                      reinterpret_cast<void**>(manager.Receive()));
    if (FAILED(result)) return LogFailure(L"CoCreateInstance", L"NetFwMgr", result);
    diag::ScopedComPointer<INetFwPolicy> policy;
    result = manager.Get()->get_LocalPolicy(policy.Receive());
    if (FAILED(result)) return LogFailure(L"get_LocalPolicy", L"NetFwMgr", result);
    result = policy.Get()->get_CurrentProfile(profile);
    if (FAILED(result)) return LogFailure(L"get_CurrentProfile", L"NetFwMgr", result);
    return S_OK;
}

HRESULT IsApplicationAuthorised(INetFwProfile* profile, const std::wstring& exePath, bool& enabled) {
    enabled = false;
    diag::ScopedComPointer<INetFwAuthorizedApplications> applications;
    HRESULT result = OpenApplications(profile, exePath, applications);
    if (FAILED(result)) return result;
    diag::ScopedBstr image(SysAllocString(exePath.c_str()));
    if (!image.IsValid()) return LogFailure(L"SysAllocString", exePath, E_OUTOFMEMORY);

    // The collection answers a path it does not list with an error: not authorised.
    diag::ScopedComPointer<INetFwAuthorizedApplication> application;
    if (FAILED(applications.Get()->Item(image.Get(), application.Receive())) || !application.IsValid()) return S_OK;
    VARIANT_BOOL isEnabled = VARIANT_FALSE;
    result = application.Get()->get_Enabled(&isEnabled);
    if (FAILED(result)) return LogFailure(L"get_Enabled", exePath, result);
    enabled = isEnabled != VARIANT_FALSE;
    return S_OK;
}

HRESULT AuthoriseApplication(INetFwProfile* profile, const std::wstring& exePath, const std::wstring& name) {
    bool enabled = false;
    HRESULT result = IsApplicationAuthorised(profile, exePath, enabled);
    if (FAILED(result)) return result;
    if (enabled) {
        InstallLog::Format(deploy::kLogFirewallAlreadyAuthorised, exePath.c_str());
        return S_OK;
    }
    diag::ScopedComPointer<INetFwAuthorizedApplications> applications;
    result = OpenApplications(profile, exePath, applications);
    if (FAILED(result)) return result;

    diag::ScopedComPointer<INetFwAuthorizedApplication> application;
    result = CoCreateInstance(CLSID_NetFwAuthorizedApplication, nullptr, CLSCTX_INPROC_SERVER,
                              IID_INetFwAuthorizedApplication, reinterpret_cast<void**>(application.Receive()));
    if (FAILED(result)) return LogFailure(L"CoCreateInstance", exePath, result);
    diag::ScopedBstr image(SysAllocString(exePath.c_str()));
    if (!image.IsValid()) return LogFailure(L"SysAllocString", exePath, E_OUTOFMEMORY);
    result = application.Get()->put_ProcessImageFileName(image.Get());
    if (FAILED(result)) return LogFailure(L"put_ProcessImageFileName", exePath, result);
    if (!name.empty()) {
        diag::ScopedBstr displayName(SysAllocString(name.c_str()));
        if (!displayName.IsValid()) return LogFailure(L"SysAllocString", name, E_OUTOFMEMORY);
        result = application.Get()->put_Name(displayName.Get());
        if (FAILED(result)) return LogFailure(L"put_Name", exePath, result);
    }
    result = applications.Get()->Add(application.Get());
    if (FAILED(result)) return LogFailure(L"Add", exePath, result);
    InstallLog::Format(deploy::kLogFirewallAdded, exePath.c_str(), name.c_str());
    return S_OK;
}

HRESULT RemoveApplication(INetFwProfile* profile, const std::wstring& exePath) {
    diag::ScopedComPointer<INetFwAuthorizedApplications> applications;
    HRESULT result = OpenApplications(profile, exePath, applications);
    if (FAILED(result)) return result;
    diag::ScopedBstr image(SysAllocString(exePath.c_str()));
    if (!image.IsValid()) return LogFailure(L"SysAllocString", exePath, E_OUTOFMEMORY);
    result = applications.Get()->Remove(image.Get());
    if (FAILED(result)) return LogFailure(L"Remove", exePath, result);
    InstallLog::Format(deploy::kLogFirewallRemoved, exePath.c_str());
    return S_OK;
}

void AddFirewallException(const std::wstring& exePath, const std::wstring& name) {
    AddFirewallException(exePath, name, OpenFirewallProfile);
}

void RemoveFirewallException(const std::wstring& exePath, const std::wstring& name) {
    RemoveFirewallException(exePath, name, OpenFirewallProfile);
}

void AddFirewallException(const std::wstring& exePath, const std::wstring& name, FirewallProfileOpener openProfile) {
    if (exePath.empty() || name.empty()) return;
    WithFirewallProfile(openProfile, [&](INetFwProfile* profile) { AuthoriseApplication(profile, exePath, name); });
}

void RemoveFirewallException(const std::wstring& exePath, const std::wstring& name,
                             FirewallProfileOpener openProfile) {
    if (exePath.empty() || name.empty()) return;
    if (!FileExists(exePath)) {
        InstallLog::Format(deploy::kLogFirewallRemovalSkipped, exePath.c_str());
        return;
    }
    WithFirewallProfile(openProfile, [&](INetFwProfile* profile) { RemoveApplication(profile, exePath); });
}
