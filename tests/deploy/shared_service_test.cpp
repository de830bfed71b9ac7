#include <gtest/gtest.h>

#include <windows.h>

#include <sddl.h>
#include <shlobj.h>

#include <vector>

#include "deploy/shared_service.h"
#include "deploy/shared_service_constants.h"
#include "deploy_test_support.h"
#include "service_test_support.h"

namespace {

const wchar_t kService[] = L"PeloraService";
const wchar_t kSvchostKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Svchost";
const wchar_t kServiceKey[] = L"SYSTEM\\CurrentControlSet\\services\\PeloraService";
const wchar_t kParametersKey[] = L"SYSTEM\\CurrentControlSet\\services\\PeloraService\\Parameters";
const wchar_t kDescription[] = L"提供Pelora按键通知服务。禁止后，某些情况下会出现按键无法说话的问题。";

// The host of the test program's own architecture: the 32-bit one for the 32-bit build.
std::wstring ExpectedHost() {
    wchar_t folder[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, sizeof(void*) == 4 ? CSIDL_SYSTEMX86 : CSIDL_SYSTEM, nullptr, SHGFP_TYPE_CURRENT,
                     folder);
    return std::wstring(folder) + L"\\svchost.exe";
}

class SharedServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        RemoveTestService();
        ASSERT_FALSE(IsRegistered()) << "a service from an earlier run is still there";
        m_strDll = m_scratch / L"VTService.dll";
        WriteTestFile(m_strDll, 64);
    }
    void TearDown() override { RemoveTestService(); }

    ScratchFolder m_scratch;
    std::wstring m_strDll;
};

TEST_F(SharedServiceTest, RegistrationWritesGroupServiceAndParameters) {
    ASSERT_TRUE(RegisterSharedService(m_strDll));

    DWORD type = 0, bytes = 0;
    ASSERT_TRUE(QueryValueShape(HKEY_LOCAL_MACHINE, kSvchostKey, kService, type, bytes));
    EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), type);
    EXPECT_EQ(30u, bytes) << "the name, its NUL and the list's closing NUL";
    EXPECT_EQ(L"PeloraService||", QueryMultiString(HKEY_LOCAL_MACHINE, kSvchostKey, kService).substr(0, 15));

    SC_HANDLE service = OpenTestService(SERVICE_QUERY_CONFIG);
    ASSERT_NE(nullptr, service);
    std::vector<BYTE> buffer(8192);
    DWORD needed = 0;
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    ASSERT_TRUE(QueryServiceConfigW(service, config, static_cast<DWORD>(buffer.size()), &needed));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_WIN32_SHARE_PROCESS), config->dwServiceType);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_DEMAND_START), config->dwStartType);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_ERROR_NORMAL), config->dwErrorControl);
    EXPECT_EQ(L"\"" + ExpectedHost() + L"\" -k PeloraService", std::wstring(config->lpBinaryPathName));
    EXPECT_STREQ(L"PeloraService", config->lpDisplayName);
    EXPECT_TRUE(config->lpDependencies == nullptr || config->lpDependencies[0] == L'\0');

    auto* description = reinterpret_cast<SERVICE_DESCRIPTIONW*>(buffer.data());
    ASSERT_TRUE(QueryServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, buffer.data(),
                                     static_cast<DWORD>(buffer.size()), &needed));
    ASSERT_NE(nullptr, description->lpDescription);
    EXPECT_STREQ(kDescription, description->lpDescription);
    CloseServiceHandle(service);

    ASSERT_TRUE(QueryValueShape(HKEY_LOCAL_MACHINE, kParametersKey, L"ServiceDll", type, bytes));
    EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), type);
    EXPECT_EQ((m_strDll.size() + 1) * 2, bytes);
    EXPECT_EQ(m_strDll, QueryString(HKEY_LOCAL_MACHINE, kParametersKey, L"ServiceDll"));
}

TEST_F(SharedServiceTest, ReRegistrationReplacesServiceAndRebuildsParameters) {
    ASSERT_TRUE(RegisterSharedService(m_strDll));
    SetString(HKEY_LOCAL_MACHINE, kParametersKey, L"Stale", L"left by the old version");
    const std::wstring newDll = m_scratch / L"new\\VTService.dll";
    WriteTestFile(newDll, 64);

    ASSERT_TRUE(RegisterSharedService(newDll));
    EXPECT_TRUE(IsRegistered());
    EXPECT_EQ(newDll, QueryString(HKEY_LOCAL_MACHINE, kParametersKey, L"ServiceDll"));
    EXPECT_EQ(L"<no value>", QueryString(HKEY_LOCAL_MACHINE, kParametersKey, L"Stale"));
}

TEST_F(SharedServiceTest, MissingDllOrFolderChangesNothing) {
    EXPECT_FALSE(RegisterSharedService(m_scratch / L"absent.dll"));
    EXPECT_FALSE(RegisterSharedService(m_scratch.Path()));
    EXPECT_FALSE(RegisterSharedService(L""));
    DWORD type = 0, bytes = 0;
    EXPECT_FALSE(QueryValueShape(HKEY_LOCAL_MACHINE, kSvchostKey, kService, type, bytes));
    EXPECT_FALSE(IsRegistered());
    EXPECT_FALSE(QueryValueShape(HKEY_LOCAL_MACHINE, kServiceKey, L"ImagePath", type, bytes));
}

TEST_F(SharedServiceTest, ServiceExistsAnswersBothWays) {
    bool exists = true;
    ASSERT_TRUE(ServiceExists(kService, exists));
    EXPECT_FALSE(exists);
    ASSERT_TRUE(RegisterSharedService(m_strDll));
    ASSERT_TRUE(ServiceExists(kService, exists));
    EXPECT_TRUE(exists);
    EXPECT_TRUE(DeleteServiceAndWait(kService));
    ASSERT_TRUE(ServiceExists(kService, exists));
    EXPECT_FALSE(exists);
}

// A handle held elsewhere keeps a deleted service in the manager: the registration must then
// fail rather than claim a new service.
TEST_F(SharedServiceTest, OldServiceHeldOpenFailsTheRegistration) {
    ASSERT_TRUE(RegisterSharedService(m_strDll));
    SC_HANDLE holder = OpenTestService(SERVICE_QUERY_CONFIG);
    ASSERT_NE(nullptr, holder);
    const std::wstring newDll = m_scratch / L"new\\VTService.dll";
    WriteTestFile(newDll, 64);

    const bool registered = RegisterSharedService(newDll);
    bool exists = false;
    const bool answered = ServiceExists(kService, exists);
    CloseServiceHandle(holder);
    if (answered && !exists) {
        // The manager removed the entry at once despite the handle: the replacement is then legal.
        GTEST_SKIP() << "this service manager removes a deleted service while a handle is open";
    }
    EXPECT_FALSE(registered);
    EXPECT_NE(newDll, QueryString(HKEY_LOCAL_MACHINE, kParametersKey, L"ServiceDll"));
}

TEST(SharedServiceHost, ImagePathQuotesTheHostOfTheOwnArchitecture) {
    std::wstring imagePath;
    ASSERT_TRUE(HostImagePath(L"Group", imagePath));
    EXPECT_EQ(L"\"" + ExpectedHost() + L"\" -k Group", imagePath);
}

// The rights of `sid` in the allow entries of `descriptor`.
ACCESS_MASK AllowedRights(PSECURITY_DESCRIPTOR descriptor, PSID sid) {
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present) return 0;
    if (!dacl) return GENERIC_ALL;  // a NULL list grants everything to everybody
    ACCESS_MASK rights = 0;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace)) continue;
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        if (allowed->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && EqualSid(&allowed->SidStart, sid))
            rights |= allowed->Mask;
    }
    return rights;
}

// The list the service is given lets any user run and stop it but keeps its configuration (the
// program it runs as LocalSystem) with the system and administrators. Wine's service manager
// accepts a list without keeping it, so the list itself is read here.
TEST(SharedServiceAccess, EverybodyMayRunButNotReconfigureTheService) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(deploy::kServiceAccessList, SDDL_REVISION_1,
                                                                     &descriptor, nullptr));
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID everyone = nullptr, admins = nullptr, system = nullptr;
    ASSERT_TRUE(AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone));
    ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0,
                                         0, 0, &admins));
    ASSERT_TRUE(AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &system));
    const ACCESS_MASK everyoneRights = AllowedRights(descriptor, everyone);
    const ACCESS_MASK adminRights = AllowedRights(descriptor, admins);
    const ACCESS_MASK systemRights = AllowedRights(descriptor, system);
    FreeSid(everyone);
    FreeSid(admins);
    FreeSid(system);
    LocalFree(descriptor);

    const ACCESS_MASK use = SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG |
                            SERVICE_INTERROGATE | SERVICE_USER_DEFINED_CONTROL;
    const ACCESS_MASK control = SERVICE_CHANGE_CONFIG | WRITE_DAC | WRITE_OWNER | DELETE;
    EXPECT_EQ(use, everyoneRights & use);
    EXPECT_EQ(0u, everyoneRights & control);
    EXPECT_EQ(use | control, adminRights & (use | control));
    EXPECT_EQ(use | control, systemRights & (use | control));
}

}  // namespace
