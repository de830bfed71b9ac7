#include "fake_firewall.h"

FakeFirewall* FakeFirewall::current = nullptr;

namespace {

std::wstring ReadText(INetFwAuthorizedApplication* application, bool imageName) {
    BSTR text = nullptr;
    const HRESULT result = imageName ? application->get_ProcessImageFileName(&text) : application->get_Name(&text);
    std::wstring value = SUCCEEDED(result) && text ? text : L"";
    SysFreeString(text);
    return value;
}

// The parts of IDispatch nobody here calls.
#define PELORA_FAKE_DISPATCH                                                                          \
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }                                          \
    ULONG STDMETHODCALLTYPE Release() override { return 1; }                                         \
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }                 \
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }    \
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {       \
        return E_NOTIMPL;                                                                            \
    }                                                                                                \
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, \
                                     UINT*) override {                                               \
        return E_NOTIMPL;                                                                            \
    }

}  // namespace

class FakeFirewall::Applications final : public INetFwAuthorizedApplications {
public:
    explicit Applications(FakeFirewall& owner) : m_owner(owner) {}
    ~Applications() {
        for (INetFwAuthorizedApplication* application : m_list) application->Release();
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (iid == __uuidof(IUnknown) || iid == __uuidof(IDispatch) || iid == __uuidof(INetFwAuthorizedApplications)) {
            *object = this;
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    PELORA_FAKE_DISPATCH

    HRESULT STDMETHODCALLTYPE get_Count(LONG* count) override {
        *count = static_cast<LONG>(m_list.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Add(INetFwAuthorizedApplication* application) override {
        ++m_owner.addCalls;
        if (!application) return E_POINTER;
        const std::wstring path = ReadText(application, true);
        if (path.empty()) return E_INVALIDARG;
        Erase(path);
        Insert(application);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Remove(BSTR imageFileName) override {
        ++m_owner.removeCalls;
        return Erase(imageFileName ? imageFileName : L"") ? S_OK : HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    }
    HRESULT STDMETHODCALLTYPE Item(BSTR imageFileName, INetFwAuthorizedApplication** application) override {
        *application = nullptr;
        for (INetFwAuthorizedApplication* listed : m_list) {
            if (_wcsicmp(ReadText(listed, true).c_str(), imageFileName ? imageFileName : L"") == 0) {
                listed->AddRef();
                *application = listed;
                return S_OK;
            }
        }
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    }
    HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown**) override { return E_NOTIMPL; }

    void Insert(INetFwAuthorizedApplication* application) {
        application->AddRef();
        m_list.push_back(application);
    }
    const std::vector<INetFwAuthorizedApplication*>& List() const { return m_list; }

private:
    bool Erase(const std::wstring& path) {
        for (auto it = m_list.begin(); it != m_list.end(); ++it) {
            if (_wcsicmp(ReadText(*it, true).c_str(), path.c_str()) == 0) {
                (*it)->Release();
                m_list.erase(it);
                return true;
            }
        }
        return false;
    }

    FakeFirewall& m_owner;
    std::vector<INetFwAuthorizedApplication*> m_list;
};

class FakeFirewall::ProfileObject final : public INetFwProfile {
public:
    explicit ProfileObject(FakeFirewall& owner) : m_owner(owner) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (iid == __uuidof(IUnknown) || iid == __uuidof(IDispatch) || iid == __uuidof(INetFwProfile)) {
            *object = this;
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    PELORA_FAKE_DISPATCH

    HRESULT STDMETHODCALLTYPE get_AuthorizedApplications(INetFwAuthorizedApplications** applications) override {
        *applications = nullptr;
        if (FAILED(m_owner.collectionResult)) return m_owner.collectionResult;
        *applications = m_owner.m_applications;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Type(NET_FW_PROFILE_TYPE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_FirewallEnabled(VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_FirewallEnabled(VARIANT_BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ExceptionsNotAllowed(VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_ExceptionsNotAllowed(VARIANT_BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_NotificationsDisabled(VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_NotificationsDisabled(VARIANT_BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_UnicastResponsesToMulticastBroadcastDisabled(VARIANT_BOOL*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE put_UnicastResponsesToMulticastBroadcastDisabled(VARIANT_BOOL) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_RemoteAdminSettings(INetFwRemoteAdminSettings**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_IcmpSettings(INetFwIcmpSettings**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_GloballyOpenPorts(INetFwOpenPorts**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Services(INetFwServices**) override { return E_NOTIMPL; }

private:
    FakeFirewall& m_owner;
};

FakeFirewall::FakeFirewall() : m_applications(new Applications(*this)), m_profile(new ProfileObject(*this)) {}

FakeFirewall::~FakeFirewall() {
    delete m_profile;
    delete m_applications;
}

INetFwProfile* FakeFirewall::Profile() { return m_profile; }

std::vector<FakeFirewall::Entry> FakeFirewall::Entries() const {
    std::vector<Entry> entries;
    for (INetFwAuthorizedApplication* application : m_applications->List()) {
        VARIANT_BOOL enabled = VARIANT_FALSE;
        application->get_Enabled(&enabled);
        entries.push_back({ReadText(application, true), ReadText(application, false), enabled != VARIANT_FALSE});
    }
    return entries;
}

void FakeFirewall::Insert(INetFwAuthorizedApplication* application) { m_applications->Insert(application); }

HRESULT FakeFirewall::OpenCurrent(INetFwProfile** profile) {
    *profile = current ? current->Profile() : nullptr;
    return current ? S_OK : E_FAIL;
}

namespace {

// The authorised-application class as the firewall names it.
const CLSID kApplicationClass = {0xec9846b3, 0x2762, 0x4a6b, {0xa2, 0x14, 0x6a, 0xcb, 0x60, 0x34, 0x62, 0xd2}};

// An authorised application that keeps what it is given; new ones are enabled for all scopes, as
// the firewall's own are.
class FakeApplication final : public INetFwAuthorizedApplication {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (iid == __uuidof(IUnknown) || iid == __uuidof(IDispatch) || iid == __uuidof(INetFwAuthorizedApplication)) {
            AddRef();
            *object = this;
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&m_references); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&m_references);
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

    HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) override { return Copy(m_name, name); }
    HRESULT STDMETHODCALLTYPE put_Name(BSTR name) override { return Keep(name, m_name); }
    HRESULT STDMETHODCALLTYPE get_ProcessImageFileName(BSTR* path) override { return Copy(m_path, path); }
    HRESULT STDMETHODCALLTYPE put_ProcessImageFileName(BSTR path) override { return Keep(path, m_path); }
    HRESULT STDMETHODCALLTYPE get_IpVersion(NET_FW_IP_VERSION* version) override {
        *version = NET_FW_IP_VERSION_ANY;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_IpVersion(NET_FW_IP_VERSION) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Scope(NET_FW_SCOPE* scope) override {
        *scope = NET_FW_SCOPE_ALL;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Scope(NET_FW_SCOPE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_RemoteAddresses(BSTR* addresses) override { return Copy(L"*", addresses); }
    HRESULT STDMETHODCALLTYPE put_RemoteAddresses(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL* enabled) override {
        *enabled = m_enabled;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL enabled) override {
        m_enabled = enabled;
        return S_OK;
    }

private:
    ~FakeApplication() = default;
    static HRESULT Copy(const std::wstring& text, BSTR* out) {
        *out = SysAllocString(text.c_str());
        return *out ? S_OK : E_OUTOFMEMORY;
    }
    static HRESULT Keep(BSTR text, std::wstring& into) {
        if (!text) return E_POINTER;
        into = text;
        return S_OK;
    }

    LONG m_references = 1;
    std::wstring m_name;
    std::wstring m_path;
    VARIANT_BOOL m_enabled = VARIANT_TRUE;
};

class FakeApplicationFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (iid == __uuidof(IUnknown) || iid == __uuidof(IClassFactory)) {
            *object = this;
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        auto* application = new FakeApplication();
        const HRESULT result = application->QueryInterface(iid, object);
        application->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

FakeApplicationFactory g_applicationFactory;

}  // namespace

bool FakeFirewall::RegisterApplicationClass(DWORD& cookie) {
    return SUCCEEDED(CoRegisterClassObject(kApplicationClass, &g_applicationFactory, CLSCTX_INPROC_SERVER,
                                           REGCLS_MULTIPLEUSE, &cookie));
}

void FakeFirewall::RevokeApplicationClass(DWORD cookie) { CoRevokeClassObject(cookie); }

INetFwAuthorizedApplication* NewApplication(const std::wstring& path, const std::wstring& name, bool enabled) {
    INetFwAuthorizedApplication* application = new FakeApplication();
    BSTR text = SysAllocString(path.c_str());
    application->put_ProcessImageFileName(text);
    SysFreeString(text);
    text = SysAllocString(name.c_str());
    application->put_Name(text);
    SysFreeString(text);
    application->put_Enabled(enabled ? VARIANT_TRUE : VARIANT_FALSE);
    return application;
}
