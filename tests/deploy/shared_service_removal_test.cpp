// UnregisterSharedService: the service and its svchost group go only when the service runs this
// install's dll. Real service manager of the Wine prefix, as in shared_service_test.cpp.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "deploy/shared_service.h"
#include "removal_test_support.h"
#include "service_test_support.h"

namespace {

const wchar_t kService[] = L"PeloraService";
const wchar_t kSvchostKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Svchost";
const wchar_t kParametersKey[] = L"SYSTEM\\CurrentControlSet\\services\\PeloraService\\Parameters";

bool HasGroupValue() {
    DWORD type = 0, bytes = 0;
    return QueryValueShape(HKEY_LOCAL_MACHINE, kSvchostKey, kService, type, bytes);
}

class SharedServiceRemovalTest : public ::testing::Test {
protected:
    void SetUp() override {
        RemoveTestService();
        ASSERT_FALSE(IsRegistered()) << "a service from an earlier run is still there";
        m_strDll = m_scratch / L"VTService.dll";
        m_strOtherDll = m_scratch / L"other\\VTService.dll";
        WriteTestFile(m_strDll, 64);
        WriteTestFile(m_strOtherDll, 64);
    }
    void TearDown() override { RemoveTestService(); }

    ScratchFolder m_scratch;
    TestInstallLog m_log;
    std::wstring m_strDll;
    std::wstring m_strOtherDll;
};

TEST_F(SharedServiceRemovalTest, ServiceOfThisDllGoesWithItsGroup) {
    ASSERT_TRUE(RegisterSharedService(m_strDll));
    ASSERT_TRUE(HasGroupValue());
    std::wstring upper = m_strDll;
    CharUpperW(&upper[0]);
    EXPECT_TRUE(UnregisterSharedService(upper));
    EXPECT_FALSE(IsRegistered());
    EXPECT_FALSE(HasGroupValue());
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kParametersKey));
    // Nothing left: a second run has nothing to do and still succeeds.
    EXPECT_TRUE(UnregisterSharedService(m_strDll));
}

// "ServiceDll" is REG_EXPAND_SZ: a path written with an environment variable names the same dll.
TEST_F(SharedServiceRemovalTest, ServiceDllIsComparedExpanded) {
    wchar_t temp[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(L"TEMP", temp, MAX_PATH);
    ASSERT_GT(length, 0u);
    ASSERT_EQ(0, _wcsnicmp(m_strDll.c_str(), temp, length)) << "the scratch folder lies below %TEMP%";
    ASSERT_TRUE(RegisterSharedService(m_strDll));
    const std::wstring unexpanded = L"%TEMP%" + m_strDll.substr(length);
    ASSERT_TRUE(WriteServiceDll(kService, unexpanded));

    EXPECT_TRUE(UnregisterSharedService(m_strDll));
    EXPECT_FALSE(IsRegistered());
    EXPECT_FALSE(HasGroupValue());
}

// The dll registered through its 8.3 name, or in upper case with "/", is still this install's.
TEST_F(SharedServiceRemovalTest, ServiceDllIsComparedAsTheFileOnDisk) {
    const std::wstring shortForm = ShortFormOf(m_strDll);
    ASSERT_FALSE(shortForm.empty());
    ASSERT_NE(m_strDll, shortForm) << "the scratch folder has an 8.3 form of its own";
    for (const std::wstring& registered : {shortForm, UpperCaseWithSlashes(m_strDll)}) {
        ASSERT_TRUE(RegisterSharedService(m_strDll));
        ASSERT_TRUE(WriteServiceDll(kService, registered));
        EXPECT_TRUE(UnregisterSharedService(m_strDll));
        EXPECT_FALSE(IsRegistered()) << std::string(registered.begin(), registered.end());
        EXPECT_FALSE(HasGroupValue());
    }
    // The same name in another folder, spelled short, is another install's.
    ASSERT_TRUE(RegisterSharedService(m_strDll));
    ASSERT_TRUE(WriteServiceDll(kService, ShortFormOf(m_strOtherDll)));
    EXPECT_TRUE(UnregisterSharedService(m_strDll));
    EXPECT_TRUE(IsRegistered());
}

TEST_F(SharedServiceRemovalTest, ServiceOfAnotherDllStaysWithItsGroup) {
    ASSERT_TRUE(RegisterSharedService(m_strOtherDll));
    EXPECT_TRUE(UnregisterSharedService(m_strDll));
    EXPECT_TRUE(IsRegistered());
    EXPECT_TRUE(HasGroupValue());
    EXPECT_EQ(m_strOtherDll, QueryString(HKEY_LOCAL_MACHINE, kParametersKey, L"ServiceDll"));
    EXPECT_TRUE(m_log.Contains(m_strOtherDll)) << "the kept service is logged with its dll";

    // A service whose dll is not recorded cannot be told to be this install's.
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kParametersKey);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kParametersKey);
    EXPECT_TRUE(UnregisterSharedService(m_strDll));
    EXPECT_TRUE(IsRegistered());
    EXPECT_TRUE(HasGroupValue());
}

// The uninstaller names both libraries an install may have registered: the copy in the
// administrators' folder and, for an older setup's service, the product root's file.
TEST_F(SharedServiceRemovalTest, AServiceOfEitherNamedDllGoesAndOfNeitherStays) {
    const std::wstring copy = m_scratch / L"copy\\VTService.dll";
    WriteTestFile(copy, 64);
    for (const std::wstring& registered : {m_strDll, copy}) {
        ASSERT_TRUE(RegisterSharedService(registered));
        EXPECT_TRUE(UnregisterSharedService(std::vector<std::wstring>{copy, m_strDll}));
        EXPECT_FALSE(IsRegistered());
        EXPECT_FALSE(HasGroupValue());
    }
    ASSERT_TRUE(RegisterSharedService(m_strOtherDll));
    EXPECT_TRUE(UnregisterSharedService(std::vector<std::wstring>{copy, m_strDll}));
    EXPECT_TRUE(IsRegistered());
    EXPECT_TRUE(HasGroupValue());
    EXPECT_TRUE(m_log.Contains(copy + L" or " + m_strDll)) << "the kept service's log names both";
    EXPECT_FALSE(UnregisterSharedService(std::vector<std::wstring>{L"", L""})) << "no path names nothing";
    EXPECT_TRUE(IsRegistered());
}

TEST_F(SharedServiceRemovalTest, GroupWithoutServiceGoesOnlyWhenItListsJustThisService) {
    EXPECT_TRUE(UnregisterSharedService(m_strDll)) << "nothing registered is nothing left";

    // A group left behind by a service that is gone: nothing else uses it.
    SetMultiString(HKEY_LOCAL_MACHINE, kSvchostKey, kService, {L"PeloraService"});
    EXPECT_TRUE(UnregisterSharedService(m_strDll));
    EXPECT_FALSE(HasGroupValue());

    // A group that another program's service shares stays.
    SetMultiString(HKEY_LOCAL_MACHINE, kSvchostKey, kService, {L"PeloraService", L"OtherService"});
    EXPECT_TRUE(UnregisterSharedService(m_strDll));
    EXPECT_TRUE(HasGroupValue());
    EXPECT_TRUE(m_log.Contains(L"OtherService"));
    SetMultiString(HKEY_LOCAL_MACHINE, kSvchostKey, kService, {});
    EXPECT_TRUE(UnregisterSharedService(m_strDll));
    EXPECT_TRUE(HasGroupValue()) << "an empty list names no service of this product";
}

TEST_F(SharedServiceRemovalTest, NoDllRemovesNothing) {
    ASSERT_TRUE(RegisterSharedService(m_strDll));
    EXPECT_FALSE(UnregisterSharedService(L""));
    EXPECT_TRUE(IsRegistered());
    EXPECT_TRUE(HasGroupValue());
}

// A handle held elsewhere keeps a deleted service in the manager: the removal then reports that
// the service is still there and leaves its group for it.
TEST_F(SharedServiceRemovalTest, ServiceHeldOpenFailsTheRemoval) {
    ASSERT_TRUE(RegisterSharedService(m_strDll));
    SC_HANDLE holder = OpenTestService(SERVICE_QUERY_CONFIG);
    ASSERT_NE(nullptr, holder);
    const bool removed = UnregisterSharedService(m_strDll);
    const bool stillThere = IsRegistered();
    CloseServiceHandle(holder);
    if (!stillThere) GTEST_SKIP() << "this service manager removes a deleted service while a handle is open";
    EXPECT_FALSE(removed);
    EXPECT_TRUE(HasGroupValue());
}

}  // namespace
