#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>

#include <vector>

#include "deploy/product_registry.h"
#include "deploy/shell_registration.h"
#include "deploy/uninstall_entry.h"
#include "deploy_test_support.h"

namespace {

const wchar_t kProductKey[] = L"SOFTWARE\\Corvane\\Pelora";
const wchar_t kFirstChannelKey[] = L"SOFTWARE\\Corvane\\PeloraFirstChannel";
const wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\映彩直播";
const wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

class ProductRegistryTest : public ::testing::Test {
protected:
    void SetUp() override { Clear(); }
    void TearDown() override { Clear(); }
    static void Clear() {
        for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            DeleteRegistryTree(hive, kProductKey);
            DeleteRegistryTree(hive, kFirstChannelKey);
            DeleteRegistryTree(hive, kUninstallKey);
        }
        DeleteRegistryTree(HKEY_CLASSES_ROOT, L"Pelora");
        HKEY run = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_WRITE, &run) == ERROR_SUCCESS) {
            RegDeleteValueW(run, L"Pelora");
            RegCloseKey(run);
        }
    }
    // The engine's two calls.
    static bool RegisterBothHives(const std::wstring& versionFolder, const std::wstring& channel) {
        WriteProductKey(versionFolder, channel, HKEY_CURRENT_USER, L"False", false);
        return WriteProductKey(versionFolder, channel, HKEY_LOCAL_MACHINE, L"False", true);
    }
    static void ExpectStringOfSize(HKEY hive, const wchar_t* key, const wchar_t* name,
                                   const std::wstring& data) {
        DWORD type = 0, bytes = 0;
        ASSERT_TRUE(QueryValueShape(hive, key, name, type, bytes)) << "value " << name;
        EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
        EXPECT_EQ((data.size() + 1) * 2, bytes) << "stored size of " << name;
        EXPECT_EQ(data, QueryString(hive, key, name));
    }
};

TEST_F(ProductRegistryTest, ProductKeyHoldsEveryValueWithItsTerminatingNul) {
    const std::wstring folder = L"C:\\Users\\me\\AppData\\Roaming\\Corvane\\Pelora\\App\\1.14.301";
    const std::wstring root = L"C:\\Users\\me\\AppData\\Roaming\\Corvane\\Pelora\\App\\";
    ASSERT_TRUE(RegisterBothHives(folder, L"30004"));
    for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        ExpectStringOfSize(hive, kProductKey, L"Version", L"1.14.301");
        ExpectStringOfSize(hive, kProductKey, L"Channel", L"30004");
        ExpectStringOfSize(hive, kProductKey, L"Lt", L"False");
        ExpectStringOfSize(hive, kProductKey, L"Install", folder);
        ExpectStringOfSize(hive, kProductKey, L"Exe", root + L"PL.exe");
        ExpectStringOfSize(hive, kProductKey, L"DisplayIcon", root + L"PL.exe");
    }
    ExpectStringOfSize(HKEY_CURRENT_USER, kUninstallKey, L"DisplayName", L"映彩直播");
    ExpectStringOfSize(HKEY_CURRENT_USER, kUninstallKey, L"DisplayVersion", L"1.14.301");
    ExpectStringOfSize(HKEY_CURRENT_USER, kUninstallKey, L"Publisher", L"岚拓科技（深圳）有限公司");
    ExpectStringOfSize(HKEY_CURRENT_USER, kUninstallKey, L"UninstallString", root + L"PeloraUninst.exe");
    ExpectStringOfSize(HKEY_CURRENT_USER, kUninstallKey, L"DisplayIcon", root + L"PL.exe");
    DWORD type = 0, bytes = 0;
    EXPECT_FALSE(QueryValueShape(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayName", type, bytes));

    // The readers see what was written.
    EXPECT_EQ(folder, ReadInstallFolder());
    EXPECT_EQ(L"30004", ReadRegisteredChannel());
    EXPECT_TRUE(HasInstalledVersion());
    EXPECT_EQ(L"1.14.301", ReadInstalledVersion());
    EXPECT_FALSE(IsNewerVersionInstalled());
    // A fresh machine records this install's channel as the first one.
    EXPECT_EQ(L"30004", ReadFirstChannel());
    ExpectStringOfSize(HKEY_LOCAL_MACHINE, kFirstChannelKey, L"Channel", L"30004");
}

TEST_F(ProductRegistryTest, AnEarlierChannelBecomesTheFirstChannel) {
    // An earlier install registered under channel 123 on this machine.
    for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
        SetString(hive, kProductKey, L"Channel", L"123");
    ASSERT_TRUE(RegisterBothHives(L"C:\\App\\1.14.301", L"456"));
    EXPECT_EQ(L"456", QueryString(HKEY_LOCAL_MACHINE, kProductKey, L"Channel"));
    EXPECT_EQ(L"456", QueryString(HKEY_CURRENT_USER, kProductKey, L"Channel"));
    EXPECT_EQ(L"123", ReadFirstChannel());
    EXPECT_EQ(L"<no key>", QueryString(HKEY_CURRENT_USER, kFirstChannelKey, L"Channel"));

    // Once recorded, the first channel stays whatever later installs bring.
    ASSERT_TRUE(RegisterBothHives(L"C:\\App\\1.14.301", L"789"));
    EXPECT_EQ(L"123", ReadFirstChannel());
}

TEST_F(ProductRegistryTest, AnUnknownFirstChannelIsReplacedInBothHives) {
    SetString(HKEY_LOCAL_MACHINE, kFirstChannelKey, L"Channel", L"0");
    ASSERT_TRUE(RegisterBothHives(L"C:\\App\\1.14.301", L"456"));
    EXPECT_EQ(L"456", QueryString(HKEY_CURRENT_USER, kFirstChannelKey, L"Channel"));
    EXPECT_EQ(L"456", ReadFirstChannel());
    EXPECT_TRUE(WriteFirstChannel(HKEY_CURRENT_USER, L""));
    EXPECT_EQ(L"0", QueryString(HKEY_CURRENT_USER, kFirstChannelKey, L"Channel"));
}

TEST_F(ProductRegistryTest, ReadersPreferTheirHives) {
    EXPECT_EQ(L"", ReadInstallFolder());
    EXPECT_EQ(L"", ReadRegisteredChannel());
    EXPECT_FALSE(HasInstalledVersion());
    EXPECT_EQ(L"", ReadInstalledVersion());
    SetString(HKEY_LOCAL_MACHINE, kProductKey, L"Install", L"D:\\Machine");
    EXPECT_EQ(L"D:\\Machine", ReadInstallFolder());
    SetString(HKEY_CURRENT_USER, kProductKey, L"Install", L"D:\\User");
    EXPECT_EQ(L"D:\\User", ReadInstallFolder());
    // The channel comes from the machine key once that key exists, even without the value.
    SetString(HKEY_CURRENT_USER, kProductKey, L"Channel", L"55");
    EXPECT_EQ(L"", ReadRegisteredChannel());
}

TEST(VersionComparison, ComparesNumberByNumber) {
    EXPECT_EQ(-1, CompareWithThisVersion(nullptr));
    EXPECT_EQ(0, CompareWithThisVersion(L"1.14.301"));
    EXPECT_EQ(0, CompareWithThisVersion(L"1.14.301.0"));
    EXPECT_GT(CompareWithThisVersion(L"1.14.302"), 0);
    EXPECT_GT(CompareWithThisVersion(L"1.14.301.5"), 0);
    EXPECT_GT(CompareWithThisVersion(L"1.15.0"), 0);
    EXPECT_LT(CompareWithThisVersion(L"1.9.999"), 0);
    EXPECT_LT(CompareWithThisVersion(L""), 0);
    EXPECT_GT(CompareWithThisVersion(L"99999999999.0"), 0);
}

class NewerVersionTest : public ProductRegistryTest {
protected:
    static bool NewerWith(const std::wstring& version) {
        SetString(HKEY_CURRENT_USER, kProductKey, L"Version", version);
        return IsNewerVersionInstalled();
    }
};

TEST_F(NewerVersionTest, OnlyAGenuinelyNewerBuildCounts) {
    EXPECT_FALSE(IsNewerVersionInstalled());
    EXPECT_TRUE(NewerWith(L"1.14.302"));
    EXPECT_TRUE(NewerWith(L"1.15.0"));
    EXPECT_FALSE(NewerWith(L"1.14.301"));
    EXPECT_FALSE(NewerWith(L"1.14.301.0"));
    EXPECT_FALSE(NewerWith(L"1.9.999"));
    EXPECT_FALSE(NewerWith(L"23.89.0.860.1"));
    EXPECT_FALSE(NewerWith(L"2.0.0.0.483"));
    EXPECT_FALSE(NewerWith(L"2.0.0.1.483"));
    EXPECT_TRUE(NewerWith(L"2.0.0.483"));
}

TEST_F(ProductRegistryTest, ProtocolStartsTheLauncher) {
    const std::wstring launcher = L"C:\\App\\PL.exe";
    ASSERT_TRUE(WriteProtocolInfo(launcher));
    ExpectStringOfSize(HKEY_CLASSES_ROOT, L"Pelora", nullptr, L"Pelora\\TalkProtocal");
    ExpectStringOfSize(HKEY_CLASSES_ROOT, L"Pelora", L"URL Protocol", launcher);
    ExpectStringOfSize(HKEY_CLASSES_ROOT, L"Pelora\\DefaultIcon", nullptr, L"\"C:\\App\\PL.exe\",1");
    ExpectStringOfSize(HKEY_CLASSES_ROOT, L"Pelora\\shell\\open\\command", nullptr,
                       L"\"C:\\App\\PL.exe\" \"%1\"");
    EXPECT_FALSE(WriteProtocolInfo(L""));
}

TEST_F(ProductRegistryTest, RunEntryIsWrittenOnceIgnoringLetterCase) {
    const std::wstring command = L"\"C:\\App\\PL.exe\" /startsrc:boot /delaystart:1";
    ASSERT_TRUE(WriteRunEntry(command));
    ExpectStringOfSize(HKEY_CURRENT_USER, kRunKey, L"Pelora", command);
    const std::wstring upper = L"\"C:\\APP\\PL.EXE\" /STARTSRC:BOOT /DELAYSTART:1";
    SetString(HKEY_CURRENT_USER, kRunKey, L"Pelora", upper);
    EXPECT_TRUE(WriteRunEntry(command));
    EXPECT_EQ(upper, QueryString(HKEY_CURRENT_USER, kRunKey, L"Pelora"));
    EXPECT_TRUE(WriteRunEntry(L"\"D:\\Other\\PL.exe\" /startsrc:boot /delaystart:1"));
    EXPECT_EQ(L"\"D:\\Other\\PL.exe\" /startsrc:boot /delaystart:1",
              QueryString(HKEY_CURRENT_USER, kRunKey, L"Pelora"));
}

// The uninstall entry as "Programs and Features" and deployment tools read it, for a product root
// that an install made on disk: the version folder's files and the public files beside it.
class UninstallEntryTest : public ProductRegistryTest {
protected:
    // {root}\1.14.301 with 1000 + 2048 bytes, PeloraUninst.exe (100) and PL.exe (1) in the root, and
    // beside them what is not the install's: another version folder and a file of the user's.
    static std::wstring MakeInstall(const std::wstring& root) {
        const std::wstring version = root + L"\\1.14.301";
        WriteTestFile(version + L"\\Bin\\Pelora.exe", 1000);
        WriteTestFile(version + L"\\Users\\1\\settings.dat", 2048);
        WriteTestFile(root + L"\\PeloraUninst.exe", 100);
        WriteTestFile(root + L"\\PL.exe", 1);
        WriteTestFile(root + L"\\1.14.300\\Bin\\Pelora.exe", 50000);
        WriteTestFile(root + L"\\notes.txt", 50000);
        return version;
    }
    // How Windows splits a command line (CommandLineToArgvW).
    static std::vector<std::wstring> Arguments(const std::wstring& commandLine) {
        int count = 0;
        LPWSTR* arguments = CommandLineToArgvW(commandLine.c_str(), &count);
        std::vector<std::wstring> result;
        for (int i = 0; arguments != nullptr && i < count; ++i) result.push_back(arguments[i]);
        LocalFree(arguments);
        return result;
    }
    static std::wstring Entry(const wchar_t* name) { return QueryString(HKEY_CURRENT_USER, kUninstallKey, name); }
    static DWORD Number(const wchar_t* name) {
        DWORD data = 0xDEADBEEF;
        EXPECT_TRUE(QueryDword(HKEY_CURRENT_USER, kUninstallKey, name, data)) << "REG_DWORD " << name;
        return data;
    }
    ScratchFolder m_scratch;
};

TEST_F(UninstallEntryTest, ARootWithoutBlankIsWrittenAsItIs) {
    const std::wstring root = m_scratch / L"PeloraApps";
    ASSERT_EQ(std::wstring::npos, root.find(L' ')) << "the scratch folder holds a blank";
    ASSERT_TRUE(RegisterBothHives(MakeInstall(root), L"30004"));
    const std::wstring uninstaller = root + L"\\PeloraUninst.exe";
    ExpectStringOfSize(HKEY_CURRENT_USER, kUninstallKey, L"UninstallString", uninstaller);
    ExpectStringOfSize(HKEY_CURRENT_USER, kUninstallKey, L"QuietUninstallString", uninstaller + L" /mode:noui");
    ExpectStringOfSize(HKEY_CURRENT_USER, kUninstallKey, L"InstallLocation", root);
    // The five values every earlier setup wrote are still there, under their names.
    ExpectStringOfSize(HKEY_CURRENT_USER, kUninstallKey, L"DisplayIcon", root + L"\\PL.exe");
    ExpectStringOfSize(HKEY_CURRENT_USER, kUninstallKey, L"DisplayName", L"映彩直播");
    ExpectStringOfSize(HKEY_CURRENT_USER, kUninstallKey, L"DisplayVersion", L"1.14.301");
    ExpectStringOfSize(HKEY_CURRENT_USER, kUninstallKey, L"Publisher", L"岚拓科技（深圳）有限公司");
    EXPECT_EQ(1u, Number(L"NoModify"));
    EXPECT_EQ(1u, Number(L"NoRepair"));
}

TEST_F(UninstallEntryTest, ARootWithABlankIsQuotedSoThatWindowsStartsTheWholePath) {
    const std::wstring root = m_scratch / L"Program Files\\Pelora";
    ASSERT_TRUE(RegisterBothHives(MakeInstall(root), L"30004"));
    const std::wstring uninstaller = root + L"\\PeloraUninst.exe";
    ExpectStringOfSize(HKEY_CURRENT_USER, kUninstallKey, L"UninstallString", L"\"" + uninstaller + L"\"");
    EXPECT_EQ(std::vector<std::wstring>{uninstaller}, Arguments(Entry(L"UninstallString")));
    const std::vector<std::wstring> quiet = {uninstaller, L"/mode:noui"};
    EXPECT_EQ(quiet, Arguments(Entry(L"QuietUninstallString")));
    // The folder itself: no quotes, no trailing backslash.
    ExpectStringOfSize(HKEY_CURRENT_USER, kUninstallKey, L"InstallLocation", root);
    ExpectStringOfSize(HKEY_CURRENT_USER, kUninstallKey, L"DisplayIcon", root + L"\\PL.exe");
}

TEST_F(UninstallEntryTest, EstimatedSizeIsTheInstallsFilesInKibRoundedUp) {
    const std::wstring root = m_scratch / L"Pelora";
    ASSERT_TRUE(RegisterBothHives(MakeInstall(root), L"30004"));
    // 1000 + 2048 + 100 + 1 bytes: 3.08 KiB. Another version and the user's file are not counted.
    EXPECT_EQ(4u, Number(L"EstimatedSize"));
    EXPECT_EQ(3149u, InstalledBytes(root + L"\\1.14.301", root));
    EXPECT_EQ(3149u, InstalledBytes(root + L"\\1.14.301", root + L"\\")) << "the root may end in a backslash";

    EXPECT_EQ(0u, KibibytesRoundedUp(0));
    EXPECT_EQ(1u, KibibytesRoundedUp(1));
    EXPECT_EQ(1u, KibibytesRoundedUp(1024));
    EXPECT_EQ(2u, KibibytesRoundedUp(1025));
    EXPECT_EQ(0xFFFFFFFFu, KibibytesRoundedUp(0xFFFFFFFFull * 1024)) << "the largest size that fits";
    EXPECT_EQ(0xFFFFFFFFu, KibibytesRoundedUp(0xFFFFFFFFull * 1024 + 1)) << "capped, not wrapped";
}

TEST_F(UninstallEntryTest, InstallDateIsTodaysLocalDate) {
    SYSTEMTIME before = {};
    GetLocalTime(&before);
    ASSERT_TRUE(RegisterBothHives(MakeInstall(m_scratch / L"Pelora"), L"30004"));
    SYSTEMTIME after = {};
    GetLocalTime(&after);
    const std::wstring date = Entry(L"InstallDate");
    DWORD type = 0, bytes = 0;
    ASSERT_TRUE(QueryValueShape(HKEY_CURRENT_USER, kUninstallKey, L"InstallDate", type, bytes));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    ASSERT_EQ(8u, date.size()) << std::string(date.begin(), date.end());
    ASSERT_EQ(std::wstring::npos, date.find_first_not_of(L"0123456789"));
    const unsigned year = std::stoul(date.substr(0, 4));
    const unsigned month = std::stoul(date.substr(4, 2));
    const unsigned day = std::stoul(date.substr(6, 2));
    // The day may have turned while the entry was written.
    const bool onBefore = year == before.wYear && month == before.wMonth && day == before.wDay;
    const bool onAfter = year == after.wYear && month == after.wMonth && day == after.wDay;
    EXPECT_TRUE(onBefore || onAfter) << std::string(date.begin(), date.end());
}

}  // namespace
