#include <gtest/gtest.h>

#include <windows.h>

#include <netfw.h>

#include <string>

#include "deploy/firewall_exception.h"
#include "deploy_test_support.h"
#include "fake_firewall.h"

namespace {

const wchar_t kEntryName[] = L"映彩直播";

class FirewallTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        FakeFirewall::current = &m_firewall;
        m_strOldClient = m_scratch / L"App\\1.14.300\\bin\\Pelora.exe";
        m_strNewClient = m_scratch / L"App\\1.14.301\\bin\\Pelora.exe";
        WriteTestFile(m_strOldClient, 16);
        WriteTestFile(m_strNewClient, 16);
        ASSERT_TRUE(FakeFirewall::RegisterApplicationClass(m_cookie));
    }
    void TearDown() override {
        if (m_cookie) FakeFirewall::RevokeApplicationClass(m_cookie);
        FakeFirewall::current = nullptr;
        if (SUCCEEDED(m_init)) CoUninitialize();
    }
    void ExpectOnlyEntry(const std::wstring& path) {
        const auto entries = m_firewall.Entries();
        ASSERT_EQ(1u, entries.size());
        EXPECT_EQ(path, entries[0].path);
        EXPECT_EQ(kEntryName, entries[0].name);
        EXPECT_TRUE(entries[0].enabled);
    }

    HRESULT m_init = E_FAIL;
    DWORD m_cookie = 0;
    FakeFirewall m_firewall;
    ScratchFolder m_scratch;
    std::wstring m_strOldClient;
    std::wstring m_strNewClient;
};

TEST_F(FirewallTest, AuthorisingAddsOneEnabledNamedEntry) {
    ASSERT_EQ(S_OK, AuthoriseApplication(m_firewall.Profile(), m_strNewClient, kEntryName));
    ExpectOnlyEntry(m_strNewClient);
    bool enabled = false;
    ASSERT_EQ(S_OK, IsApplicationAuthorised(m_firewall.Profile(), m_strNewClient, enabled));
    EXPECT_TRUE(enabled);
    ASSERT_EQ(S_OK, IsApplicationAuthorised(m_firewall.Profile(), m_strOldClient, enabled));
    EXPECT_FALSE(enabled) << "an unlisted client is not authorised, and asking is no failure";
}

TEST_F(FirewallTest, AnEnabledEntryIsNotAddedTwiceInAnyLetterCase) {
    ASSERT_EQ(S_OK, AuthoriseApplication(m_firewall.Profile(), m_strNewClient, kEntryName));
    std::wstring otherCase = m_strNewClient;
    otherCase.replace(otherCase.find(L"\\bin\\"), 5, L"\\Bin\\");
    ASSERT_EQ(S_OK, AuthoriseApplication(m_firewall.Profile(), otherCase, kEntryName));
    EXPECT_EQ(1, m_firewall.addCalls);
    ExpectOnlyEntry(m_strNewClient);
}

TEST_F(FirewallTest, ADisabledEntryIsAuthorisedAgain) {
    INetFwAuthorizedApplication* disabled = NewApplication(m_strNewClient, kEntryName, false);
    ASSERT_NE(nullptr, disabled);
    m_firewall.Insert(disabled);
    disabled->Release();
    ASSERT_FALSE(m_firewall.Entries()[0].enabled);

    ASSERT_EQ(S_OK, AuthoriseApplication(m_firewall.Profile(), m_strNewClient, kEntryName));
    EXPECT_EQ(1, m_firewall.addCalls);
    ExpectOnlyEntry(m_strNewClient);
}

TEST_F(FirewallTest, AListThatCannotBeReadIsLeftAlone) {
    m_firewall.collectionResult = E_ACCESSDENIED;
    EXPECT_EQ(E_ACCESSDENIED, AuthoriseApplication(m_firewall.Profile(), m_strNewClient, kEntryName));
    EXPECT_EQ(E_ACCESSDENIED, RemoveApplication(m_firewall.Profile(), m_strNewClient));
    EXPECT_EQ(0, m_firewall.addCalls);
    EXPECT_EQ(0, m_firewall.removeCalls);
}

// The engine's order: the old client's entry goes, the new one's comes.
TEST_F(FirewallTest, AnUpgradeMovesTheEntryToTheNewClient) {
    AddFirewallException(m_strOldClient, kEntryName, FakeFirewall::OpenCurrent);
    ExpectOnlyEntry(m_strOldClient);
    RemoveFirewallException(m_strOldClient, kEntryName, FakeFirewall::OpenCurrent);
    AddFirewallException(m_strNewClient, kEntryName, FakeFirewall::OpenCurrent);
    ExpectOnlyEntry(m_strNewClient);
}

TEST_F(FirewallTest, ReinstallingOverTheSameFolderEndsWithOneEnabledEntry) {
    AddFirewallException(m_strNewClient, kEntryName, FakeFirewall::OpenCurrent);
    RemoveFirewallException(m_strNewClient, kEntryName, FakeFirewall::OpenCurrent);
    EXPECT_TRUE(m_firewall.Entries().empty());
    AddFirewallException(m_strNewClient, kEntryName, FakeFirewall::OpenCurrent);
    EXPECT_EQ(1, m_firewall.removeCalls);
    EXPECT_EQ(2, m_firewall.addCalls);
    ExpectOnlyEntry(m_strNewClient);
}

TEST_F(FirewallTest, TheEntryOfAVanishedClientStays) {
    const std::wstring gone = m_scratch / L"App\\1.13.0\\bin\\Pelora.exe";
    AddFirewallException(gone, kEntryName, FakeFirewall::OpenCurrent);
    RemoveFirewallException(gone, kEntryName, FakeFirewall::OpenCurrent);
    EXPECT_EQ(0, m_firewall.removeCalls);
    ExpectOnlyEntry(gone);
}

TEST_F(FirewallTest, EmptyArgumentsTouchNothing) {
    AddFirewallException(L"", kEntryName, FakeFirewall::OpenCurrent);
    AddFirewallException(m_strNewClient, L"", FakeFirewall::OpenCurrent);
    RemoveFirewallException(m_strNewClient, L"", FakeFirewall::OpenCurrent);
    RemoveFirewallException(L"", kEntryName, FakeFirewall::OpenCurrent);
    EXPECT_EQ(0, m_firewall.addCalls);
    EXPECT_EQ(0, m_firewall.removeCalls);
}

struct ApartmentOutcome {
    const std::wstring* client = nullptr;
    HRESULT before = E_FAIL;
    HRESULT after = E_FAIL;
};

DWORD WINAPI AddFromMultithreadedApartment(void* parameter) {
    auto* outcome = static_cast<ApartmentOutcome*>(parameter);
    outcome->before = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    DWORD cookie = 0;
    if (FakeFirewall::RegisterApplicationClass(cookie)) {
        AddFirewallException(*outcome->client, kEntryName, FakeFirewall::OpenCurrent);
        FakeFirewall::RevokeApplicationClass(cookie);
    }
    // S_FALSE: the thread's first initialisation is still in place.
    outcome->after = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(outcome->after)) CoUninitialize();
    if (SUCCEEDED(outcome->before)) CoUninitialize();
    return 0;
}

// A thread already in the multithreaded apartment still gets its entry, and keeps its own COM
// initialisation afterwards.
TEST_F(FirewallTest, AThreadInAnotherApartmentStillAddsAndKeepsItsCom) {
    ApartmentOutcome outcome;
    outcome.client = &m_strNewClient;
    HANDLE thread = CreateThread(nullptr, 0, AddFromMultithreadedApartment, &outcome, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 30000));
    CloseHandle(thread);
    ASSERT_EQ(S_OK, outcome.before);
    EXPECT_EQ(S_FALSE, outcome.after);
    ExpectOnlyEntry(m_strNewClient);
}

// The identifiers the program asks COM for reach the system's firewall manager.
TEST_F(FirewallTest, TheSystemFirewallProfileOpens) {
    FakeFirewall::RevokeApplicationClass(m_cookie);
    m_cookie = 0;
    INetFwProfile* profile = nullptr;
    ASSERT_EQ(S_OK, OpenFirewallProfile(&profile));
    ASSERT_NE(nullptr, profile);
    bool enabled = true;
    EXPECT_EQ(S_OK, IsApplicationAuthorised(profile, m_strNewClient, enabled));
    EXPECT_EQ(S_OK, AuthoriseApplication(profile, m_strNewClient, kEntryName));
    profile->Release();
}

}  // namespace
