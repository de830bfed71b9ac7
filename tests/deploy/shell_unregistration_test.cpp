// DeleteProtocolInfo and DeleteRunEntry: the shell registrations go only when they start this
// install's launcher.
#include <gtest/gtest.h>

#include "deploy/shell_registration.h"
#include "removal_test_support.h"

namespace {

// HKEY_CLASSES_ROOT\Pelora below either hive.
const wchar_t kProtocolKey[] = L"Software\\Classes\\Pelora";
const wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kLauncher[] = L"C:\\Users\\me\\AppData\\Roaming\\Corvane\\Pelora\\App\\PL.exe";
const wchar_t kOtherLauncher[] = L"D:\\Other\\Pelora\\PL.exe";

class ShellUnregistrationTest : public ::testing::Test {
protected:
    void SetUp() override { Clear(); }
    void TearDown() override { Clear(); }
    static void Clear() {
        DeleteRegistryTree(HKEY_LOCAL_MACHINE, kProtocolKey);
        DeleteRegistryTree(HKEY_CURRENT_USER, kProtocolKey);
        HKEY run = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_WRITE, &run) == ERROR_SUCCESS) {
            RegDeleteValueW(run, L"Pelora");
            RegDeleteValueW(run, L"Neighbour");
            RegCloseKey(run);
        }
    }
    static std::wstring RunCommand(const std::wstring& launcher) {
        return L"\"" + launcher + L"\" /startsrc:boot /delaystart:1";
    }
    TestInstallLog m_log;
};

TEST_F(ShellUnregistrationTest, ProtocolOfThisLauncherGoesWithItsSubkeys) {
    ASSERT_TRUE(WriteProtocolInfo(kLauncher));
    ASSERT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"Pelora\\shell\\open\\command"));
    // The uninstaller may spell the path in another letter case than the setup did.
    EXPECT_TRUE(DeleteProtocolInfo(L"c:\\users\\ME\\appdata\\roaming\\corvane\\pelora\\app\\pl.EXE"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"Pelora"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kProtocolKey));
    // Nothing left: a second run has nothing to do and still succeeds.
    EXPECT_TRUE(DeleteProtocolInfo(kLauncher));
}

TEST_F(ShellUnregistrationTest, ProtocolOfAnotherProgramStays) {
    ASSERT_TRUE(WriteProtocolInfo(kOtherLauncher));
    EXPECT_TRUE(DeleteProtocolInfo(kLauncher));
    EXPECT_EQ(kOtherLauncher, QueryString(HKEY_CLASSES_ROOT, L"Pelora", L"URL Protocol"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"Pelora\\shell\\open\\command"));
    EXPECT_TRUE(m_log.Contains(kOtherLauncher)) << "the kept key is logged with what it names";

    // A path that only begins like ours is another program's too.
    ASSERT_TRUE(WriteProtocolInfo(std::wstring(kLauncher) + L"x"));
    EXPECT_TRUE(DeleteProtocolInfo(kLauncher));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"Pelora"));

    // A key without the value names nobody: it stays as well.
    Clear();
    SetString(HKEY_LOCAL_MACHINE, kProtocolKey, nullptr, L"Pelora\\TalkProtocal");
    EXPECT_TRUE(DeleteProtocolInfo(kLauncher));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kProtocolKey));
}

// Windows reads the user's classes before the machine's; each copy is judged on its own.
TEST_F(ShellUnregistrationTest, ProtocolIsRemovedFromTheUsersClassesToo) {
    SetString(HKEY_CURRENT_USER, kProtocolKey, L"URL Protocol", kLauncher);
    SetString(HKEY_CURRENT_USER, L"Software\\Classes\\Pelora\\shell\\open\\command", nullptr, L"x");
    SetString(HKEY_LOCAL_MACHINE, kProtocolKey, L"URL Protocol", kOtherLauncher);
    EXPECT_TRUE(DeleteProtocolInfo(kLauncher));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kProtocolKey));
    EXPECT_EQ(kOtherLauncher, QueryString(HKEY_LOCAL_MACHINE, kProtocolKey, L"URL Protocol"));

    SetString(HKEY_CURRENT_USER, kProtocolKey, L"URL Protocol", kOtherLauncher);
    SetString(HKEY_LOCAL_MACHINE, kProtocolKey, L"URL Protocol", kLauncher);
    EXPECT_TRUE(DeleteProtocolInfo(kLauncher));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kProtocolKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kProtocolKey));
}

TEST_F(ShellUnregistrationTest, NoLauncherRemovesNothing) {
    EXPECT_TRUE(DeleteProtocolInfo(kLauncher)) << "nothing registered is nothing left";
    SetString(HKEY_LOCAL_MACHINE, kProtocolKey, L"URL Protocol", L"");
    SetString(HKEY_CURRENT_USER, kRunKey, L"Pelora", L"");
    EXPECT_FALSE(DeleteProtocolInfo(L""));
    EXPECT_FALSE(DeleteRunEntry(L""));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kProtocolKey));
    EXPECT_EQ(L"", QueryString(HKEY_CURRENT_USER, kRunKey, L"Pelora"));
}

TEST_F(ShellUnregistrationTest, RunEntryOfThisLauncherGoesAlone) {
    SetString(HKEY_CURRENT_USER, kRunKey, L"Neighbour", L"\"C:\\Tools\\tool.exe\"");
    ASSERT_TRUE(WriteRunEntry(RunCommand(kLauncher)));
    EXPECT_TRUE(DeleteRunEntry(L"C:\\USERS\\me\\AppData\\Roaming\\Corvane\\Pelora\\App\\pl.exe"));
    EXPECT_EQ(L"<no value>", QueryString(HKEY_CURRENT_USER, kRunKey, L"Pelora"));
    EXPECT_EQ(L"\"C:\\Tools\\tool.exe\"", QueryString(HKEY_CURRENT_USER, kRunKey, L"Neighbour"));
    EXPECT_TRUE(DeleteRunEntry(kLauncher)) << "nothing registered is nothing left";

    // Written without quotes, the program is the first word.
    SetString(HKEY_CURRENT_USER, kRunKey, L"Pelora", L"C:\\App\\PL.exe /startsrc:boot");
    EXPECT_TRUE(DeleteRunEntry(L"C:\\App\\PL.exe"));
    EXPECT_EQ(L"<no value>", QueryString(HKEY_CURRENT_USER, kRunKey, L"Pelora"));
}

TEST_F(ShellUnregistrationTest, RunEntryStartingAnotherProgramStays) {
    const std::vector<std::wstring> others = {
        RunCommand(kOtherLauncher),
        RunCommand(std::wstring(kLauncher) + L".old"),
        // Our launcher handed to another program as its argument.
        L"\"D:\\Tools\\starter.exe\" \"" + std::wstring(kLauncher) + L"\"",
    };
    for (const std::wstring& command : others) {
        SetString(HKEY_CURRENT_USER, kRunKey, L"Pelora", command);
        EXPECT_TRUE(DeleteRunEntry(kLauncher));
        EXPECT_EQ(command, QueryString(HKEY_CURRENT_USER, kRunKey, L"Pelora"));
    }
    EXPECT_TRUE(m_log.Contains(L"D:\\Tools\\starter.exe")) << "the kept entry is logged";
}

// A launcher on disk, registered by the setup through another spelling of its folder: an 8.3 name,
// upper case, "/" for "\\".
class InstalledLauncherTest : public ShellUnregistrationTest {
protected:
    void SetUp() override {
        ShellUnregistrationTest::SetUp();
        m_launcher = m_scratch / L"Pelora Apps\\PL.exe";
        m_otherLauncher = m_scratch / L"Pelora Apps 2\\PL.exe";
        WriteTestFile(m_launcher, 10);
        WriteTestFile(m_otherLauncher, 10);
        const std::wstring shortForm = ShortFormOf(m_launcher);
        ASSERT_FALSE(shortForm.empty());
        ASSERT_EQ(std::wstring::npos, shortForm.find(L' '));
        m_spellings = {shortForm, UpperCaseWithSlashes(m_launcher)};
    }
    ScratchFolder m_scratch;
    std::wstring m_launcher;
    std::wstring m_otherLauncher;
    std::vector<std::wstring> m_spellings;
};

TEST_F(InstalledLauncherTest, RegistrationsThroughAnotherSpellingGo) {
    for (const std::wstring& spelling : m_spellings) {
        ASSERT_TRUE(WriteProtocolInfo(spelling));
        ASSERT_TRUE(WriteRunEntry(RunCommand(spelling)));
        EXPECT_TRUE(DeleteProtocolInfo(m_launcher));
        EXPECT_TRUE(DeleteRunEntry(m_launcher));
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"Pelora")) << std::string(spelling.begin(), spelling.end());
        EXPECT_EQ(L"<no value>", QueryString(HKEY_CURRENT_USER, kRunKey, L"Pelora"));
    }
    // Unquoted, with the short name that needs no quotes.
    SetString(HKEY_CURRENT_USER, kRunKey, L"Pelora", m_spellings[0] + L" /startsrc:boot");
    EXPECT_TRUE(DeleteRunEntry(m_launcher));
    EXPECT_EQ(L"<no value>", QueryString(HKEY_CURRENT_USER, kRunKey, L"Pelora"));
}

TEST_F(InstalledLauncherTest, ALauncherOfTheSameNameInAnotherFolderStays) {
    ASSERT_TRUE(WriteProtocolInfo(ShortFormOf(m_otherLauncher)));
    ASSERT_TRUE(WriteRunEntry(RunCommand(m_otherLauncher)));
    EXPECT_TRUE(DeleteProtocolInfo(m_launcher));
    EXPECT_TRUE(DeleteRunEntry(m_launcher));
    EXPECT_EQ(ShortFormOf(m_otherLauncher), QueryString(HKEY_CLASSES_ROOT, L"Pelora", L"URL Protocol"));
    EXPECT_EQ(RunCommand(m_otherLauncher), QueryString(HKEY_CURRENT_USER, kRunKey, L"Pelora"));
}

}  // namespace
