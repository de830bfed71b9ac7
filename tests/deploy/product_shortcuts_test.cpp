#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "deploy/file_system.h"
#include "deploy/product_shortcuts.h"
#include "deploy/shell_pin_requests.h"
#include "deploy_test_support.h"
#include "diag/win_handle.h"
#include "shortcut_test_support.h"

namespace {

// Keeps every shell request instead of passing it on.
class RecordingPinRequests final : public ShellPinRequests {
public:
    struct Request {
        std::wstring verb;
        std::wstring file;
        std::wstring parameters;
    };
    void ExecuteHidden(const wchar_t* verb, const std::wstring& file, const std::wstring& parameters) override {
        executed.push_back({verb, file, parameters});
    }
    bool UnpinFromStartMenu(const std::wstring& path) override {
        startMenuUnpins.push_back(path);
        return true;
    }
    void NotifyDeleted(const std::wstring& path) override { deleted.push_back(path); }

    std::vector<Request> executed;
    std::vector<std::wstring> startMenuUnpins;
    std::vector<std::wstring> deleted;
};

constexpr uint32_t kWindowsXp = 0x501;
constexpr uint32_t kVista = 0x600;
constexpr uint32_t kWindows7 = 0x601;
constexpr uint32_t kWindows10 = 0xA00;

// A product root with its launcher and uninstaller, and the four shell folders in scratch space.
class ProductShortcutsTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteTestFile(m_launcher, 8);
        WriteTestFile(m_uninstaller, 8);
        for (const std::wstring* folder : {&m_folders.desktop, &m_folders.quickLaunch, &m_folders.programs,
                                           &m_folders.commonPrograms}) {
            ASSERT_TRUE(CreateFolderPath(*folder));
        }
    }
    ProductShortcuts Shortcuts(uint32_t osVersionCode) { return ProductShortcuts(m_folders, osVersionCode, m_pins); }
    bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
    std::wstring Group() { return m_folders.programs + L"\\岚拓软件\\映彩直播"; }
    std::wstring CommonGroup() { return m_folders.commonPrograms + L"\\岚拓软件\\映彩直播"; }
    std::wstring DesktopLink() { return m_folders.desktop + L"\\映彩直播.lnk"; }
    std::wstring QuickLaunchLink() { return m_folders.quickLaunch + L"\\映彩直播.lnk"; }
    void CreateFullSet(uint32_t osVersionCode) {
        ProductShortcuts shortcuts = Shortcuts(osVersionCode);
        ASSERT_TRUE(shortcuts.CreateDesktopShortcut(m_launcher));
        ASSERT_TRUE(shortcuts.CreateQuickLaunchShortcut(m_launcher, m_pinProgram));
        ASSERT_TRUE(shortcuts.CreateStartMenuShortcuts(m_launcher, m_uninstaller));
    }

    ScratchFolder m_scratch;
    std::wstring m_root = m_scratch / L"App";
    std::wstring m_launcher = m_root + L"\\PL.exe";
    std::wstring m_uninstaller = m_root + L"\\PeloraUninst.exe";
    std::wstring m_pinProgram = m_root + L"\\1.14.301\\Bin\\explorer.exe";
    ShortcutFolders m_folders{m_scratch / L"Desktop", m_scratch / L"Quick Launch", m_scratch / L"Programs",
                              m_scratch / L"Common Programs"};
    RecordingPinRequests m_pins;
};

TEST_F(ProductShortcutsTest, EveryLaunchShortcutPassesItsStartSourceAndStartsInTheProductRoot) {
    CreateFullSet(kWindows10);

    const struct {
        std::wstring link;
        const wchar_t* arguments;
    } expected[] = {{DesktopLink(), L"/startsrc:desktop_short"},
                    {QuickLaunchLink(), L"/startsrc:desktop_launchbar"},
                    {Group() + L"\\映彩直播.lnk", L"/startsrc:desktop_start"},
                    {Group() + L"\\卸载映彩直播.lnk", L""}};
    for (const auto& shortcut : expected) {
        const ShortcutContents contents = ReadShortcut(shortcut.link);
        ASSERT_TRUE(contents.loaded) << "no shortcut at the expected place";
        EXPECT_EQ(shortcut.arguments, contents.arguments);
        EXPECT_EQ(m_root, contents.workingFolder);
    }
    EXPECT_EQ(m_launcher, ReadShortcut(DesktopLink()).target);
    EXPECT_EQ(m_uninstaller, ReadShortcut(Group() + L"\\卸载映彩直播.lnk").target);
    // Only the current user's start menu receives the group.
    EXPECT_FALSE(Exists(CommonGroup()));
}

TEST_F(ProductShortcutsTest, QuickLaunchShortcutIsPinnedTheWayTheWindowsVersionAllows) {
    CreateFullSet(kWindows10);
    ASSERT_EQ(1u, m_pins.executed.size());
    EXPECT_EQ(L"open", m_pins.executed[0].verb);
    EXPECT_EQ(m_pinProgram, m_pins.executed[0].file);
    EXPECT_EQ(L"\"" + QuickLaunchLink() + L"\"", m_pins.executed[0].parameters);

    for (uint32_t version : {kWindows7, kWindowsXp}) {
        m_pins.executed.clear();
        ASSERT_TRUE(Shortcuts(version).CreateQuickLaunchShortcut(m_launcher, m_pinProgram));
        ASSERT_EQ(1u, m_pins.executed.size());
        EXPECT_EQ(L"taskbarpin", m_pins.executed[0].verb);
        EXPECT_EQ(QuickLaunchLink(), m_pins.executed[0].file);
        EXPECT_EQ(L"", m_pins.executed[0].parameters);
    }
}

TEST_F(ProductShortcutsTest, QuickLaunchFolderMissingFromTheProfileIsCreated) {
    RemoveTestTree(m_folders.quickLaunch);
    EXPECT_TRUE(Shortcuts(kWindows7).CreateQuickLaunchShortcut(m_launcher, m_pinProgram));
    EXPECT_TRUE(ReadShortcut(QuickLaunchLink()).loaded);
}

TEST_F(ProductShortcutsTest, MissingTargetsSkipTheirShortcutsWithoutFailing) {
    DeleteFileW(m_uninstaller.c_str());
    ASSERT_TRUE(Shortcuts(kWindows10).CreateStartMenuShortcuts(m_launcher, m_uninstaller));
    EXPECT_TRUE(Exists(Group() + L"\\映彩直播.lnk"));
    EXPECT_FALSE(Exists(Group() + L"\\卸载映彩直播.lnk"));

    DeleteFileW(m_launcher.c_str());
    EXPECT_TRUE(Shortcuts(kWindows10).CreateDesktopShortcut(m_launcher));
    EXPECT_TRUE(Shortcuts(kWindows10).CreateQuickLaunchShortcut(m_launcher, m_pinProgram));
    EXPECT_FALSE(Exists(DesktopLink()));
    EXPECT_FALSE(Exists(QuickLaunchLink()));
    EXPECT_TRUE(m_pins.executed.empty()) << "nothing to pin without a shortcut";
}

TEST_F(ProductShortcutsTest, ShortcutThatCannotBeWrittenIsReportedAsFailure) {
    // A file stands where the desktop folder belongs: the desktop shortcut cannot be written.
    RemoveTestTree(m_folders.desktop);
    WriteTestFile(m_folders.desktop, 3, 'd');
    EXPECT_FALSE(Shortcuts(kWindows10).CreateDesktopShortcut(m_launcher));
    EXPECT_EQ("def", ReadTestFile(m_folders.desktop));

    // The same for the programs folder: no group can be made below it.
    RemoveTestTree(m_folders.programs);
    WriteTestFile(m_folders.programs, 3, 'p');
    EXPECT_FALSE(Shortcuts(kWindows10).CreateStartMenuShortcuts(m_launcher, m_uninstaller));
    EXPECT_EQ("pqr", ReadTestFile(m_folders.programs));

    RemoveTestTree(m_folders.quickLaunch);
    WriteTestFile(m_folders.quickLaunch, 3, 'q');
    EXPECT_FALSE(Shortcuts(kWindows10).CreateQuickLaunchShortcut(m_launcher, m_pinProgram));
    EXPECT_TRUE(m_pins.executed.empty()) << "a shortcut that was not written is not pinned";
}

TEST_F(ProductShortcutsTest, RemovalUnpinsAllSixCandidatesInOrderAndDeletesTheSet) {
    CreateFullSet(kWindows10);
    // The all-users group of an older install, and the group name of older versions.
    WriteTestFile(CommonGroup() + L"\\映彩直播.lnk", 4);
    WriteTestFile(m_folders.programs + L"\\岚拓软件\\Pelora\\卸载映彩直播.lnk", 4);
    m_pins.executed.clear();

    ASSERT_TRUE(Shortcuts(kWindows7).RemoveOldShortcuts());

    const std::vector<std::wstring> candidates = {
        Group() + L"\\映彩直播.lnk",     CommonGroup() + L"\\映彩直播.lnk", Group() + L"\\卸载映彩直播.lnk",
        CommonGroup() + L"\\卸载映彩直播.lnk", DesktopLink(),                     QuickLaunchLink()};
    ASSERT_EQ(candidates.size(), m_pins.executed.size());
    for (size_t i = 0; i < candidates.size(); ++i) {
        EXPECT_EQ(L"taskbarunpin", m_pins.executed[i].verb);
        EXPECT_EQ(candidates[i], m_pins.executed[i].file);
    }
    EXPECT_EQ(candidates, m_pins.startMenuUnpins);
    EXPECT_EQ(candidates, m_pins.deleted);
    for (const std::wstring& candidate : candidates) EXPECT_FALSE(Exists(candidate));
    EXPECT_FALSE(Exists(Group()));
    EXPECT_FALSE(Exists(CommonGroup()));
    EXPECT_FALSE(Exists(m_folders.programs + L"\\岚拓软件\\Pelora"));
}

TEST_F(ProductShortcutsTest, TaskbarUnpinIsAskedFromWindows7OnOnly) {
    ASSERT_TRUE(Shortcuts(kVista).RemoveOldShortcuts());
    EXPECT_TRUE(m_pins.executed.empty());
    EXPECT_EQ(6u, m_pins.startMenuUnpins.size());
}

TEST_F(ProductShortcutsTest, RemovalLeavesTheUsersFilesAndTheirFolders) {
    CreateFullSet(kWindows10);
    WriteTestFile(Group() + L"\\我的笔记.txt", 5, 'u');
    WriteTestFile(m_folders.programs + L"\\岚拓软件\\Pelora\\Other.lnk", 5, 'o');
    WriteTestFile(m_folders.desktop + L"\\映彩直播 (2).lnk", 5, 'c');

    ASSERT_TRUE(Shortcuts(kWindows10).RemoveOldShortcuts());

    EXPECT_FALSE(Exists(Group() + L"\\映彩直播.lnk"));
    EXPECT_FALSE(Exists(Group() + L"\\卸载映彩直播.lnk"));
    EXPECT_EQ("uvwxy", ReadTestFile(Group() + L"\\我的笔记.txt"));
    EXPECT_EQ("opqrs", ReadTestFile(m_folders.programs + L"\\岚拓软件\\Pelora\\Other.lnk"));
    EXPECT_EQ("cdefg", ReadTestFile(m_folders.desktop + L"\\映彩直播 (2).lnk"));
    EXPECT_FALSE(Exists(DesktopLink()));
}

TEST_F(ProductShortcutsTest, OldShortcutHeldOpenIsReportedAsFailure) {
    CreateFullSet(kWindows10);
    diag::ScopedHandle held(CreateFileW(DesktopLink().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held.IsValid());

    EXPECT_FALSE(Shortcuts(kWindows10).RemoveOldShortcuts());
    EXPECT_TRUE(Exists(DesktopLink()));
    // The rest of the set is removed all the same.
    EXPECT_FALSE(Exists(QuickLaunchLink()));
    EXPECT_FALSE(Exists(Group()));
}

TEST_F(ProductShortcutsTest, SecondInstallLeavesExactlyOneSet) {
    CreateFullSet(kWindows10);
    ASSERT_TRUE(Shortcuts(kWindows10).RemoveOldShortcuts());
    CreateFullSet(kWindows10);

    for (const std::wstring* folder : {&m_folders.desktop, &m_folders.quickLaunch}) {
        WIN32_FIND_DATAW data;
        int links = 0;
        diag::ScopedFindHandle find(FindFirstFileW((*folder + L"\\*.lnk").c_str(), &data));
        for (bool more = find.IsValid(); more; more = FindNextFileW(find.Get(), &data)) ++links;
        EXPECT_EQ(1, links);
    }
    EXPECT_TRUE(ReadShortcut(Group() + L"\\映彩直播.lnk").loaded);
    EXPECT_TRUE(ReadShortcut(Group() + L"\\卸载映彩直播.lnk").loaded);
}

}  // namespace
