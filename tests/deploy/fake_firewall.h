#pragma once

#include <windows.h>

#include <netfw.h>

#include <string>
#include <vector>

// A firewall profile of the test's own whose authorised applications behave like the system's
// list (looked up by path in any letter case, an added path replaces its entry, removing an
// unlisted path fails) and count the calls made to them. Wine's firewall accepts every request
// but lists nothing and its application objects forget their name, so the building blocks are
// checked against this one. The profile and its list live as long as the FakeFirewall; their
// reference counts are not kept.
class FakeFirewall {
public:
    FakeFirewall();
    ~FakeFirewall();

    INetFwProfile* Profile();

    struct Entry {
        std::wstring path;
        std::wstring name;
        bool enabled = false;
    };
    // The entries as their application objects report them.
    std::vector<Entry> Entries() const;
    // Puts an application object into the list as it is, without counting an Add.
    void Insert(INetFwAuthorizedApplication* application);

    int addCalls = 0;
    int removeCalls = 0;
    // The HRESULT get_AuthorizedApplications answers with (the list is handed out only on success).
    HRESULT collectionResult = S_OK;

    // The object the opener below hands out; set while a test uses it.
    static FakeFirewall* current;
    // A FirewallProfileOpener for `current`.
    static HRESULT OpenCurrent(INetFwProfile** profile);

    // Makes CoCreateInstance of the authorised-application class hand out the test's own
    // application objects in the calling apartment, until Revoke; false when COM refuses.
    static bool RegisterApplicationClass(DWORD& cookie);
    static void RevokeApplicationClass(DWORD cookie);

    class Applications;
    class ProfileObject;

private:
    Applications* m_applications;
    ProfileObject* m_profile;
};

// A new application object of the test's own (one reference for the caller) with `path`, `name`
// and `enabled` set.
INetFwAuthorizedApplication* NewApplication(const std::wstring& path, const std::wstring& name, bool enabled);
