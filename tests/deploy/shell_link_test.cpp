#include <gtest/gtest.h>

#include <windows.h>

#include <propsys.h>
#include <shlobj.h>

#include "diag/scoped_com.h"
#include "deploy/shell_link.h"
#include "deploy_test_support.h"
#include "diag/win_handle.h"
#include "shortcut_test_support.h"

namespace {

// A target that exists, as the install's launcher does.
class ShellLinkTest : public ::testing::Test {
protected:
    void SetUp() override { WriteTestFile(m_target, 16); }
    ScratchFolder m_scratch;
    std::wstring m_targetFolder = m_scratch / L"产品";
    std::wstring m_target = m_targetFolder + L"\\PL.exe";
};

TEST_F(ShellLinkTest, LaunchShortcutReadsBackWithArgumentsAndTheTargetsFolder) {
    const std::wstring link = m_scratch / L"映彩直播.lnk";
    ASSERT_TRUE(CreateAppShortcut(m_target, link, L"/startsrc:desktop_short"));

    const ShortcutContents contents = ReadShortcut(link);
    ASSERT_TRUE(contents.loaded);
    EXPECT_EQ(m_target, contents.target);
    EXPECT_EQ(L"/startsrc:desktop_short", contents.arguments);
    EXPECT_EQ(m_targetFolder, contents.workingFolder);
    EXPECT_EQ(SW_SHOWNORMAL, contents.showCommand);
    // No icon of its own: the shell shows the launcher's icon.
    EXPECT_EQ(L"", contents.iconFile);
    EXPECT_EQ(0, contents.iconIndex);
}

TEST_F(ShellLinkTest, UninstallShortcutHasNoArguments) {
    const std::wstring link = m_scratch / L"卸载映彩直播.lnk";
    ASSERT_TRUE(CreateFileShortcut(m_target, link));

    const ShortcutContents contents = ReadShortcut(link);
    ASSERT_TRUE(contents.loaded);
    EXPECT_EQ(m_target, contents.target);
    EXPECT_EQ(L"", contents.arguments);
    EXPECT_EQ(m_targetFolder, contents.workingFolder);
}

// The shell link's own property store is a stub under Wine, so the identifier is stored into a
// memory property store, the same interface the link offers on Windows 7 and later.
TEST_F(ShellLinkTest, ApplicationIdIsStoredAsAWideString) {
    diag::ScopedComApartment apartment(COINIT_APARTMENTTHREADED);
    diag::ScopedComPointer<IPropertyStore> store;
    ASSERT_TRUE(SUCCEEDED(PSCreateMemoryPropertyStore(IID_IPropertyStore, reinterpret_cast<void**>(store.Receive()))));
    ASSERT_TRUE(StoreAppUserModelId(store.Get()));
    EXPECT_EQ(L"Pelora", ReadAppUserModelId(store.Get()));
}

TEST_F(ShellLinkTest, ShortcutThatCannotBeSavedIsAFailure) {
    // The folder of the link does not exist, so the shell link cannot write the file.
    EXPECT_FALSE(CreateAppShortcut(m_target, m_scratch / L"missing\\映彩直播.lnk", L"/startsrc:desktop_short"));
    EXPECT_FALSE(CreateFileShortcut(m_target, m_scratch / L"missing\\卸载映彩直播.lnk"));

    // A file held open without sharing stands at the link's name.
    const std::wstring held = m_scratch / L"held.lnk";
    WriteTestFile(held, 4, 'r');
    {
        diag::ScopedHandle handle(CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(handle.IsValid());
        EXPECT_FALSE(CreateFileShortcut(m_target, held));
    }
    EXPECT_EQ("rstu", ReadTestFile(held));
}

TEST_F(ShellLinkTest, EmptyPathsWriteNothing) {
    EXPECT_FALSE(CreateFileShortcut(L"", m_scratch / L"a.lnk"));
    EXPECT_FALSE(CreateAppShortcut(m_target, L"", L"/startsrc:desktop_short"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((m_scratch / L"a.lnk").c_str()));
}

}  // namespace
