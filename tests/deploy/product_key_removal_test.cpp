// DeleteProductKey: the product key, the uninstall entry, the first channel and the company key
// go only when they name this install.
#include <gtest/gtest.h>

#include "deploy/product_registry.h"
#include "removal_test_support.h"

namespace {

const wchar_t kCompanyKey[] = L"SOFTWARE\\Corvane";
const wchar_t kProductKey[] = L"SOFTWARE\\Corvane\\Pelora";
const wchar_t kFirstChannelKey[] = L"SOFTWARE\\Corvane\\PeloraFirstChannel";
const wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\映彩直播";
const wchar_t kFolder[] = L"C:\\Users\\me\\AppData\\Roaming\\Corvane\\Pelora\\App\\1.14.301";
const wchar_t kOtherFolder[] = L"D:\\Pelora\\1.14.301";

class ProductKeyRemovalTest : public ::testing::Test {
protected:
    void SetUp() override { Clear(); }
    void TearDown() override { Clear(); }
    static void Clear() {
        for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            DeleteRegistryTree(hive, kCompanyKey);
            DeleteRegistryTree(hive, kUninstallKey);
        }
    }
    // What the setup writes for `folder`, as the engine calls it.
    static void Install(const std::wstring& folder) {
        ASSERT_TRUE(WriteProductKey(folder, L"30004", HKEY_CURRENT_USER, L"False", false));
        ASSERT_TRUE(WriteProductKey(folder, L"30004", HKEY_LOCAL_MACHINE, L"False", true));
    }
    TestInstallLog m_log;
};

TEST_F(ProductKeyRemovalTest, ThisInstallsKeysGoHiveByHive) {
    Install(kFolder);
    // The per-user first channel exists while the machine-wide one is unknown.
    ASSERT_TRUE(WriteFirstChannel(HKEY_CURRENT_USER, L"30004"));
    ASSERT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kFirstChannelKey));

    EXPECT_TRUE(DeleteProductKey(kFolder, HKEY_CURRENT_USER, false));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kProductKey));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUninstallKey));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kFirstChannelKey));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kCompanyKey)) << "nothing else was in it";
    // The other hive is another call's.
    EXPECT_EQ(kFolder, QueryString(HKEY_LOCAL_MACHINE, kProductKey, L"Install"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kFirstChannelKey));

    EXPECT_TRUE(DeleteProductKey(kFolder, HKEY_LOCAL_MACHINE, true));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kProductKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kFirstChannelKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kCompanyKey));

    // Nothing left: a second run has nothing to do and still succeeds.
    EXPECT_TRUE(DeleteProductKey(kFolder, HKEY_CURRENT_USER, false));
    EXPECT_TRUE(DeleteProductKey(kFolder, HKEY_LOCAL_MACHINE, true));
}

TEST_F(ProductKeyRemovalTest, FolderMatchesInAnyCaseWithOrWithoutTrailingBackslash) {
    // The key spells the folder with a trailing backslash, the uninstaller in another letter case.
    Install(kFolder);
    SetString(HKEY_CURRENT_USER, kProductKey, L"Install", std::wstring(kFolder) + L"\\");
    EXPECT_TRUE(DeleteProductKey(L"c:\\users\\ME\\appdata\\roaming\\corvane\\pelora\\app\\1.14.301",
                                 HKEY_CURRENT_USER, false));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kProductKey));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUninstallKey));

    // The uninstaller's folder ends in a backslash: the product root is still its parent.
    Clear();
    Install(kFolder);
    EXPECT_TRUE(DeleteProductKey(std::wstring(kFolder) + L"\\", HKEY_CURRENT_USER, false));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kProductKey));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUninstallKey));
    EXPECT_TRUE(DeleteProductKey(std::wstring(kFolder) + L"\\", HKEY_LOCAL_MACHINE, true));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kProductKey));
}

TEST_F(ProductKeyRemovalTest, AnotherInstallsKeysStay) {
    Install(kOtherFolder);
    ASSERT_TRUE(WriteFirstChannel(HKEY_CURRENT_USER, L"30004"));
    for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
        EXPECT_TRUE(DeleteProductKey(kFolder, hive, hive == HKEY_LOCAL_MACHINE));
    for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        EXPECT_EQ(kOtherFolder, QueryString(hive, kProductKey, L"Install"));
        EXPECT_TRUE(KeyExists(hive, kFirstChannelKey));
    }
    EXPECT_EQ(L"D:\\Pelora\\PeloraUninst.exe", QueryString(HKEY_CURRENT_USER, kUninstallKey, L"UninstallString"));
    EXPECT_TRUE(m_log.Contains(kOtherFolder)) << "the kept key is logged with what it names";

    // A folder that only begins like ours is another install's.
    Clear();
    Install(std::wstring(kFolder) + L"1");
    EXPECT_TRUE(DeleteProductKey(kFolder, HKEY_CURRENT_USER, false));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kProductKey));
}

// The product key and the uninstall entry are judged each by what it names.
TEST_F(ProductKeyRemovalTest, UninstallEntryGoesByItsOwnUninstaller) {
    Install(kFolder);
    SetString(HKEY_CURRENT_USER, kProductKey, L"Install", kOtherFolder);
    EXPECT_TRUE(DeleteProductKey(kFolder, HKEY_CURRENT_USER, false));
    EXPECT_EQ(kOtherFolder, QueryString(HKEY_CURRENT_USER, kProductKey, L"Install"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUninstallKey));

    Clear();
    Install(kFolder);
    SetString(HKEY_CURRENT_USER, kUninstallKey, L"UninstallString", L"D:\\Pelora\\PeloraUninst.exe");
    EXPECT_TRUE(DeleteProductKey(kFolder, HKEY_CURRENT_USER, false));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kProductKey));
    EXPECT_EQ(L"D:\\Pelora\\PeloraUninst.exe", QueryString(HKEY_CURRENT_USER, kUninstallKey, L"UninstallString"));

    // The setup writes no machine-wide uninstall entry: one that is there is not this install's.
    Clear();
    Install(kFolder);
    SetString(HKEY_LOCAL_MACHINE, kUninstallKey, L"UninstallString",
              L"C:\\Users\\me\\AppData\\Roaming\\Corvane\\Pelora\\App\\PeloraUninst.exe");
    EXPECT_TRUE(DeleteProductKey(kFolder, HKEY_LOCAL_MACHINE, true));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kProductKey));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
}

TEST_F(ProductKeyRemovalTest, CompanyKeyStaysWhileItHoldsAnythingElse) {
    Install(kFolder);
    SetString(HKEY_CURRENT_USER, L"SOFTWARE\\Corvane\\Other", L"Install", L"D:\\Other");
    SetString(HKEY_LOCAL_MACHINE, kCompanyKey, L"Owner", L"someone");
    EXPECT_TRUE(DeleteProductKey(kFolder, HKEY_CURRENT_USER, false));
    EXPECT_TRUE(DeleteProductKey(kFolder, HKEY_LOCAL_MACHINE, true));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kProductKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kProductKey));
    EXPECT_EQ(L"D:\\Other", QueryString(HKEY_CURRENT_USER, L"SOFTWARE\\Corvane\\Other", L"Install"));
    EXPECT_EQ(L"someone", QueryString(HKEY_LOCAL_MACHINE, kCompanyKey, L"Owner"));

    // Without a product key of this install, an empty company key is not this run's to remove.
    Clear();
    SetString(HKEY_CURRENT_USER, kCompanyKey, L"Owner", L"");
    HKEY company = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, kCompanyKey, 0, KEY_SET_VALUE, &company));
    RegDeleteValueW(company, L"Owner");
    RegCloseKey(company);
    EXPECT_TRUE(DeleteProductKey(kFolder, HKEY_CURRENT_USER, false));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kCompanyKey));
}

TEST_F(ProductKeyRemovalTest, NoFolderRemovesNothing) {
    EXPECT_TRUE(DeleteProductKey(kFolder, HKEY_CURRENT_USER, false)) << "nothing registered is nothing left";
    SetString(HKEY_CURRENT_USER, kProductKey, L"Install", L"");
    EXPECT_FALSE(DeleteProductKey(L"", HKEY_CURRENT_USER, false));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kProductKey));
}

}  // namespace
