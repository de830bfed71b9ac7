// The options kept for the installed client: loaded from the user's (else the machine's) product
// key, and written back under the user with the options file; the UI manager writes them when it
// goes after a finished install (the e2e stories cover that run). Beside them the setup keeps the
// quick-launch box's last choice in a value of its own, the user's only.
#include <gtest/gtest.h>

#include <string>

#include "deploy/install_paths.h"
#include "deploy_test_support.h"
#include "ui/install_ui_manager.h"

namespace {

constexpr wchar_t kKey[] = L"SOFTWARE\\Corvane\\Pelora";
constexpr wchar_t kSetupQuickLaunch[] = L"nSetupQuickLaunch";
constexpr const wchar_t* kNames[] = {L"nShortcutDesktop", L"nShortcutQuickLaunch", L"nRunExe", L"nShowNewFeature",
                                     L"nStartRunExe"};

void SetDword(HKEY hive, const wchar_t* name, DWORD value) {
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(hive, kKey, name, REG_DWORD, &value, sizeof(value)));
}

// A value as stored under `hive`, -1 when it is missing or no REG_DWORD.
int StoredOption(HKEY hive, const wchar_t* name) {
    DWORD value = 0;
    DWORD size = sizeof(value);
    const LONG status = RegGetValueW(hive, kKey, name, RRF_RT_REG_DWORD, nullptr, &value, &size);
    return status == ERROR_SUCCESS ? static_cast<int>(value) : -1;
}

// The client's five values as stored under `hive`.
std::vector<int> StoredOptions(HKEY hive) {
    std::vector<int> values;
    for (const wchar_t* name : kNames) values.push_back(StoredOption(hive, name));
    return values;
}

std::wstring OptionsFile() {
    return MiscFolder() + L"\\EnvirConf.ini";
}

class PageOptionsTest : public ::testing::Test {
protected:
    void SetUp() override { Clean(); }
    void TearDown() override { Clean(); }
    static void Clean() {
        DeleteRegistryTree(HKEY_CURRENT_USER, kKey);
        DeleteRegistryTree(HKEY_LOCAL_MACHINE, kKey);
        DeleteFileW(OptionsFile().c_str());
    }
};

TEST_F(PageOptionsTest, WithNoKeyAtAllTheDefaultsAndTheOptionsFileAreWritten) {
    InstallUIManager manager;
    manager.LoadOptions();
    EXPECT_TRUE(manager.SaveOptions());
    EXPECT_EQ((std::vector<int>{1, 1, 1, 0, 1}), StoredOptions(HKEY_CURRENT_USER));
    EXPECT_EQ(1, StoredOption(HKEY_CURRENT_USER, kSetupQuickLaunch));
    wchar_t value[8] = {};
    GetPrivateProfileStringW(L"Option", L"FirstOpenLoginPanel", L"", value, 8, OptionsFile().c_str());
    EXPECT_STREQ(L"1", value);
    EXPECT_EQ((std::vector<int>{-1, -1, -1, -1, -1}), StoredOptions(HKEY_LOCAL_MACHINE))
        << "the machine's key was written";
}

TEST_F(PageOptionsTest, AManagerWithoutAFinishedInstallLeavesNothingBehind) {
    {
        InstallUIManager manager;
        manager.LoadOptions();
    }
    EXPECT_EQ((std::vector<int>{-1, -1, -1, -1, -1}), StoredOptions(HKEY_CURRENT_USER));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(OptionsFile().c_str()));
}

TEST_F(PageOptionsTest, ValuesFoundOnlyUnderTheMachineAreCopiedToTheUser) {
    SetDword(HKEY_LOCAL_MACHINE, L"nShortcutDesktop", 0);
    SetDword(HKEY_LOCAL_MACHINE, L"nShowNewFeature", 5);
    InstallUIManager manager;
    manager.LoadOptions();
    EXPECT_EQ(0, manager.Options().nShortcutDesktop);
    EXPECT_EQ(5, manager.Options().nShowNewFeature);
    manager.SaveOptions();
    EXPECT_EQ((std::vector<int>{0, 1, 1, 5, 1}), StoredOptions(HKEY_CURRENT_USER));
}

TEST_F(PageOptionsTest, TheUsersKeyWinsOverTheMachinesEvenWhenItLacksAValue) {
    SetDword(HKEY_LOCAL_MACHINE, L"nRunExe", 0);
    SetDword(HKEY_CURRENT_USER, L"nStartRunExe", 0);
    const PageOptions options = LoadPageOptions();
    EXPECT_EQ(1, options.nRunExe) << "a machine value was read although the user has the key";
    EXPECT_EQ(0, options.nStartRunExe);
}

TEST_F(PageOptionsTest, AValueThatIsNoNumberKeepsItsDefault) {
    // "1" is four bytes in UTF-16: read as a number it would become 49.
    SetString(HKEY_CURRENT_USER, kKey, L"nRunExe", L"1");
    SetDword(HKEY_CURRENT_USER, L"nShortcutQuickLaunch", 0);
    const PageOptions options = LoadPageOptions();
    EXPECT_EQ(1, options.nRunExe);
    EXPECT_EQ(0, options.nShortcutQuickLaunch);
}

TEST_F(PageOptionsTest, TheQuickLaunchChoiceIsKeptInTheSetupsOwnValueNotInTheClients) {
    InstallUIManager manager;
    manager.LoadOptions();
    EXPECT_TRUE(manager.QuickLaunchChoice());
    manager.SetQuickLaunchChoice(false);
    EXPECT_TRUE(manager.SaveOptions());
    EXPECT_EQ(0, StoredOption(HKEY_CURRENT_USER, kSetupQuickLaunch));
    EXPECT_EQ(1, StoredOption(HKEY_CURRENT_USER, L"nShortcutQuickLaunch")) << "the client's option was changed";

    manager.LoadOptions();
    EXPECT_FALSE(manager.QuickLaunchChoice()) << "the saved choice was not read back";
}

TEST_F(PageOptionsTest, TheSetupsOwnValueIsReadFromTheUserOnlyAndTheClientsIsNoChoice) {
    SetDword(HKEY_LOCAL_MACHINE, kSetupQuickLaunch, 0);
    SetDword(HKEY_LOCAL_MACHINE, L"nShortcutQuickLaunch", 0);
    PageOptions options = LoadPageOptions();
    EXPECT_EQ(1, options.nSetupQuickLaunch) << "a machine's value was taken for the user's choice";
    EXPECT_EQ(0, options.nShortcutQuickLaunch) << "the client's option is still read from the machine";

    SetDword(HKEY_CURRENT_USER, L"nShortcutQuickLaunch", 0);
    options = LoadPageOptions();
    EXPECT_EQ(1, options.nSetupQuickLaunch) << "the client's option was taken for the setup's choice";
    SetDword(HKEY_CURRENT_USER, kSetupQuickLaunch, 0);
    options = LoadPageOptions();
    EXPECT_EQ(0, options.nSetupQuickLaunch);
}

}  // namespace
