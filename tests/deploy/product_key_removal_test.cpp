// DeleteProductKey: the product key, the uninstall entry, the first channel and the company key
// go only when they name this install.
#include <gtest/gtest.h>

#include "deploy/file_system.h"
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

// An install on disk, {scratch}\Pelora Apps\1.14.301: the root's name holds a blank, so this setup
// quotes the uninstaller, and has an 8.3 form of its own that an install may have been given.
class InstalledProductKeyRemovalTest : public ProductKeyRemovalTest {
protected:
    void SetUp() override {
        ProductKeyRemovalTest::SetUp();
        m_root = m_scratch / L"Pelora Apps";
        m_version = m_root + L"\\1.14.301";
        m_uninstaller = m_root + L"\\PeloraUninst.exe";
        WriteTestFile(m_version + L"\\PeloraInstall.xml", 10);
        WriteTestFile(m_uninstaller, 10);
        m_short = ShortFormOf(m_root);
        ASSERT_FALSE(m_short.empty());
        ASSERT_EQ(std::wstring::npos, m_short.find(L' ')) << "the root has no 8.3 form of its own";
    }
    // Installs, sets the uninstall entry's "UninstallString" to `value`, removes for this install as
    // the uninstaller knows it, and tells whether the entry is gone.
    bool EntryGoesWith(const std::wstring& value) {
        Clear();
        Install(m_version);
        SetString(HKEY_CURRENT_USER, kUninstallKey, L"UninstallString", value);
        EXPECT_TRUE(DeleteProductKey(m_version, HKEY_CURRENT_USER, false));
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kProductKey));
        return !KeyExists(HKEY_CURRENT_USER, kUninstallKey);
    }
    static std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

    ScratchFolder m_scratch;
    std::wstring m_root;
    std::wstring m_version;
    std::wstring m_uninstaller;
    std::wstring m_short;
};

TEST_F(InstalledProductKeyRemovalTest, UninstallEntryOfThisUninstallerGoesQuotedOrNotInAnySpelling) {
    Install(m_version);
    ASSERT_EQ(L"\"" + m_uninstaller + L"\"", QueryString(HKEY_CURRENT_USER, kUninstallKey, L"UninstallString"));
    for (const std::wstring& value : {
             L"\"" + m_uninstaller + L"\"",               // as this setup writes it
             m_uninstaller,                               // as older setups wrote it, blank and all
             m_short + L"\\PeloraUninst.exe",
             L"\"" + m_short + L"\\PELORAUNINST.EXE\"",
             UpperCaseWithSlashes(m_uninstaller),
             L"\"" + m_uninstaller + L"\" /mode:noui",
         }) {
        EXPECT_TRUE(EntryGoesWith(value)) << Narrow(value);
    }
}

TEST_F(InstalledProductKeyRemovalTest, UninstallEntryOfAnotherFolderStays) {
    const std::wstring other = m_scratch / L"Pelora Apps 2\\PeloraUninst.exe";
    WriteTestFile(other, 10);
    for (const std::wstring& value : {
             L"\"" + other + L"\"",
             other,
             L"\"" + m_uninstaller + L".old\"",
             L"\"" + m_root + L"\"",  // the folder, not the uninstaller
             // This install's uninstaller handed to another program.
             L"\"" + other + L"\" \"" + m_uninstaller + L"\"",
         }) {
        EXPECT_FALSE(EntryGoesWith(value)) << Narrow(value);
        EXPECT_EQ(value, QueryString(HKEY_CURRENT_USER, kUninstallKey, L"UninstallString"));
    }
    EXPECT_TRUE(m_log.Contains(other)) << "the kept entry is logged with what it names";
}

TEST_F(InstalledProductKeyRemovalTest, SpellingsOfTheInstallFolderAreThisInstall) {
    for (const std::wstring& registered : {UpperCaseWithSlashes(m_version), m_version + L"\\", m_short + L"\\1.14.301",
                                           m_root + L"\\Bin\\..\\1.14.301"}) {
        Clear();
        Install(registered);
        EXPECT_TRUE(DeleteProductKey(m_version, HKEY_CURRENT_USER, false));
        EXPECT_TRUE(DeleteProductKey(m_version, HKEY_LOCAL_MACHINE, true));
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kProductKey)) << Narrow(registered);
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kProductKey)) << Narrow(registered);
    }
    // Another version folder of the same root is another install.
    Clear();
    WriteTestFile(m_root + L"\\1.14.300\\PeloraInstall.xml", 10);
    Install(m_root + L"\\1.14.300");
    EXPECT_TRUE(DeleteProductKey(m_version, HKEY_CURRENT_USER, false));
    EXPECT_EQ(m_root + L"\\1.14.300", QueryString(HKEY_CURRENT_USER, kProductKey, L"Install"));
}

// The product key goes after the files: the version folder is gone by then, and only the root that
// holds the running uninstaller is left to show what the short name was.
TEST_F(InstalledProductKeyRemovalTest, AnInstallThroughAShortNameGoesAfterItsVersionFolder) {
    const std::wstring registered = m_short + L"\\1.14.301";
    Install(registered);
    ASSERT_EQ(m_short + L"\\PeloraUninst.exe", QueryString(HKEY_CURRENT_USER, kUninstallKey, L"UninstallString"));
    RemoveTestTree(m_version);
    ASSERT_FALSE(FileOrFolderExists(m_version));

    EXPECT_TRUE(DeleteProductKey(m_version, HKEY_CURRENT_USER, false));
    EXPECT_TRUE(DeleteProductKey(m_version, HKEY_LOCAL_MACHINE, true));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kProductKey));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUninstallKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kProductKey));
}

// "/install_dir:C:\PROG~FBU\PeloraApps": the short name lies above the product root, which is gone
// with everything in it; the short name is still read in its long form.
TEST_F(InstalledProductKeyRemovalTest, AnInstallBelowAShortNamedFolderGoesWhenItsOwnFoldersAreGone) {
    const std::wstring parent = m_scratch / L"Program Files X";
    const std::wstring version = parent + L"\\PeloraApps\\1.14.301";
    WriteTestFile(version + L"\\PeloraInstall.xml", 10);
    const std::wstring shortParent = ShortFormOf(parent);
    ASSERT_FALSE(shortParent.empty());
    ASSERT_EQ(std::wstring::npos, shortParent.find(L' '));
    Install(shortParent + L"\\PeloraApps\\1.14.301");
    RemoveTestTree(parent + L"\\PeloraApps");
    ASSERT_TRUE(FolderExists(parent));

    EXPECT_TRUE(DeleteProductKey(version, HKEY_CURRENT_USER, false));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kProductKey));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUninstallKey));
}

}  // namespace
