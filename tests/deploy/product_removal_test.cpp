#include <gtest/gtest.h>

#include <iostream>

#include "deploy/deploy_constants.h"
#include "deploy/file_system.h"
#include "deploy/public_files.h"
#include "deploy/product_registry.h"
#include "deploy/product_removal.h"
#include "deploy/removal_constants.h"
#include "deploy/removal_records.h"
#include "deploy/deferred_removal.h"
#include "deploy/shell_pin_requests.h"
#include "diag/install_log.h"
#include "diag/win_handle.h"
#include "deploy_test_support.h"
#include "removal_test_product.h"

namespace {

constexpr wchar_t kSessionManager[] = L"System\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t kPendingRenames[] = L"PendingFileRenameOperations";

// The shell is not asked anything real here: the prefix has no shortcuts of the product.
class SilentShell : public ShellPinRequests {
public:
    void ExecuteHidden(const wchar_t*, const std::wstring&, const std::wstring&) override {}
    bool UnpinFromStartMenu(const std::wstring&) override { return true; }
    void NotifyDeleted(const std::wstring&) override {}
};

// An install made by the real deployer in a scratch folder, registered in the prefix's product key.
class ProductRemovalTest : public ::testing::Test {
protected:
    void SetUp() override {
        InstallLog::Open(m_scratch / L"install.txt");
        DeleteRegistryTree(HKEY_CURRENT_USER, deploy::kProductKey);
        DeleteRegistryTree(HKEY_LOCAL_MACHINE, deploy::kProductKey);
        ASSERT_TRUE(InstallTestProduct(m_scratch / L"staging", VersionFolder(),
                                       {{L"Bin\\Pelora.exe", 200}, {L"Bin\\PL.exe", 100},
                                        {L"Bin\\PeloraCore.dll", 300}, {L"Misc\\CVSSO\\cvsso.ini", 30}}));
        ASSERT_EQ(1, CopyPublicFileToInstallDir(VersionFolder()));
        ASSERT_TRUE(FileExists(Root() + L"\\PL.exe"));
        ASSERT_TRUE(WriteProductKey(VersionFolder(), L"30004", HKEY_CURRENT_USER, L"False", false));
        WriteTestFile(VersionFolder() + L"\\Users\\1001\\history.db", 77, 'u');
        m_userData = ReadTestFile(VersionFolder() + L"\\Users\\1001\\history.db");
    }

    void TearDown() override {
        // What the removal wrote, to see why a case failed.
        if (HasFailure()) {
            const std::wstring log = ReadInstallLogText(m_scratch / L"install.txt");
            std::string text(log.size() * 3 + 1, '\0');
            text.resize(WideCharToMultiByte(CP_UTF8, 0, log.c_str(), static_cast<int>(log.size()), &text[0],
                                            static_cast<int>(text.size()), nullptr, nullptr));
            std::cout << text;
        }
        InstallLog::Close();
        DeleteRegistryTree(HKEY_CURRENT_USER, deploy::kProductKey);
        diag::ScopedRegKey key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, key.Receive()) == ERROR_SUCCESS)
            RegDeleteValueW(key.Get(), kPendingRenames);
    }

    std::wstring Root() const { return m_scratch / L"App"; }
    std::wstring VersionFolder() const { return m_scratch / L"App\\1.14.301"; }
    bool ProductKeyExists() const {
        return QueryString(HKEY_CURRENT_USER, deploy::kProductKey, L"Install") != L"<no key>";
    }

    // The product's entries as they are now, to show that a refusal changed nothing.
    std::string Snapshot() const {
        std::string all;
        for (const wchar_t* file : {L"Bin\\Pelora.exe", L"Bin\\PL.exe", L"Bin\\PeloraCore.dll", L"Misc\\CVSSO\\cvsso.ini",
                                    L"Users\\1001\\history.db"})
            all += ReadTestFile(VersionFolder() + L"\\" + file) + "|";
        for (const wchar_t* file : {L"PL.exe", L"PeloraUninst.exe"}) all += ReadTestFile(Root() + L"\\" + file) + "|";
        return all;
    }

    ScratchFolder m_scratch;
    SilentShell m_shell;
    std::string m_userData;
};

TEST_F(ProductRemovalTest, RemovesTheProductAndKeepsTheUsersData) {
    ProductRemoval removal(m_shell);
    std::wstring refusal;
    ASSERT_TRUE(removal.Prepare(refusal)) << refusal;
    EXPECT_EQ(VersionFolder(), removal.VersionFolder());
    EXPECT_EQ(0, removal.Remove(false, nullptr));

    for (const wchar_t* gone : {L"\\1.14.301\\Bin", L"\\1.14.301\\Misc", L"\\PL.exe", L"\\VTService.dll"})
        EXPECT_FALSE(FileOrFolderExists(Root() + gone)) << gone;
    EXPECT_EQ(m_userData, ReadTestFile(VersionFolder() + L"\\Users\\1001\\history.db"));
    // Outside the product's default root the manifest stays with the data: it is what lets a new
    // install into this folder take it as the product's.
    EXPECT_TRUE(FileExists(VersionFolder() + L"\\PeloraInstall.xml"));
    EXPECT_FALSE(ProductKeyExists());
    EXPECT_EQ(L"<no key>", QueryString(HKEY_CURRENT_USER, deploy::kUninstallKey, L"UninstallString"));
    EXPECT_EQ(0, removal.FilesFailed());
}

TEST_F(ProductRemovalTest, WithTheUsersDataNothingOfTheInstallIsLeft) {
    ProductRemoval removal(m_shell);
    std::wstring refusal;
    ASSERT_TRUE(removal.Prepare(refusal)) << refusal;
    EXPECT_EQ(0, removal.Remove(true, nullptr));
    EXPECT_FALSE(FileOrFolderExists(VersionFolder()));
    EXPECT_TRUE(FolderExists(Root())) << "the setup did not record that it made the root";
    EXPECT_FALSE(ProductKeyExists());
}

TEST_F(ProductRemovalTest, WhatSomebodyElsePutIntoTheProductsFoldersStays) {
    WriteTestFile(VersionFolder() + L"\\Bin\\plugin-of-mine.dll", 9, 'p');
    WriteTestFile(Root() + L"\\notes.txt", 4, 'n');
    const std::string plugin = ReadTestFile(VersionFolder() + L"\\Bin\\plugin-of-mine.dll");
    const std::string notes = ReadTestFile(Root() + L"\\notes.txt");
    ProductRemoval removal(m_shell);
    std::wstring refusal;
    ASSERT_TRUE(removal.Prepare(refusal)) << refusal;
    EXPECT_EQ(0, removal.Remove(true, nullptr));
    EXPECT_EQ(plugin, ReadTestFile(VersionFolder() + L"\\Bin\\plugin-of-mine.dll"));
    EXPECT_EQ(notes, ReadTestFile(Root() + L"\\notes.txt"));
    EXPECT_FALSE(FileExists(VersionFolder() + L"\\Bin\\Pelora.exe"));
    EXPECT_FALSE(ProductKeyExists());
}

TEST_F(ProductRemovalTest, TheRootAndTheFoldersAboveGoOnlyWhenTheSetupMadeThem) {
    ASSERT_TRUE(RecordMadeFolders(HKEY_CURRENT_USER, {Root()}));
    ProductRemoval removal(m_shell);
    std::wstring refusal;
    ASSERT_TRUE(removal.Prepare(refusal)) << refusal;
    EXPECT_EQ(0, removal.Remove(true, nullptr));
    EXPECT_FALSE(FileOrFolderExists(Root())) << "the uninstaller does not run from it here";
    EXPECT_TRUE(FolderExists(m_scratch.Path())) << "the folder above was there before the install";
}

// Pending deletions at the next start, as pairs of (source, target); the sources only.
std::vector<std::wstring> PendingDeletions() {
    std::vector<std::wstring> sources;
    const std::wstring joined = QueryMultiString(HKEY_LOCAL_MACHINE, kSessionManager, kPendingRenames);
    size_t start = 0;
    bool isSource = true;
    while (start <= joined.size()) {
        const size_t bar = joined.find(L'|', start);
        const std::wstring item = joined.substr(start, bar == std::wstring::npos ? std::wstring::npos : bar - start);
        if (isSource && !item.empty()) sources.push_back(item.substr(item.rfind(L'?') == 2 ? 4 : 0));
        isSource = !isSource;
        if (bar == std::wstring::npos) break;
        start = bar + 1;
    }
    return sources;
}

TEST_F(ProductRemovalTest, AFileInUseLeavesItsNameAtOnceAndOnlyItsUniqueSideNameWaitsForTheNextStart) {
    const std::wstring running = VersionFolder() + L"\\Bin\\Pelora.exe";
    // A running program's image may be renamed but not deleted.
    MappedProgramImage image(running);
    ASSERT_TRUE(image.IsHeld());
    ProductRemoval removal(m_shell);
    std::wstring refusal;
    ASSERT_TRUE(removal.Prepare(refusal)) << refusal;
    const int result = removal.Remove(true, nullptr);
    image.Release();

    EXPECT_EQ(0, result) << "what goes at the next start counts as removed";
    EXPECT_EQ(1, removal.FilesDeferred());
    EXPECT_FALSE(FileExists(running)) << "its name is free for a new install";
    bool sideFileListed = false;
    for (const std::wstring& pending : PendingDeletions()) {
        EXPECT_NE(running, pending) << "the original name is never handed to the next start";
        const std::wstring name = pending.substr(pending.rfind(L'\\') + 1);
        if (IsSideNameOf(name, L"Pelora.exe")) {
            sideFileListed = true;
            EXPECT_EQ(std::wstring(L"Pelora.exe~").size() + 16, name.size()) << "sixteen random digits";
            EXPECT_TRUE(FileExists(pending));
        }
    }
    EXPECT_TRUE(sideFileListed);
    EXPECT_FALSE(ProductKeyExists());
}

TEST_F(ProductRemovalTest, AFileThatCannotGoKeepsTheInstallRegisteredAndASecondRunRemovesIt) {
    const std::wstring pinned = VersionFolder() + L"\\Bin\\PeloraCore.dll";
    // Opened without any sharing: it can be neither deleted nor renamed.
    HANDLE exclusive = CreateFileW(pinned.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, exclusive);
    {
        ProductRemoval removal(m_shell);
        std::wstring refusal;
        ASSERT_TRUE(removal.Prepare(refusal)) << refusal;
        EXPECT_EQ(1, removal.Remove(true, nullptr));
        EXPECT_EQ(1, removal.FilesFailed());
    }
    CloseHandle(exclusive);
    EXPECT_TRUE(FileExists(pinned));
    EXPECT_TRUE(ProductKeyExists()) << "registered, so that the removal can be run again";
    EXPECT_TRUE(FileExists(VersionFolder() + L"\\PeloraInstall.xml"));
    EXPECT_NE(L"<no key>", QueryString(HKEY_CURRENT_USER, deploy::kUninstallKey, L"UninstallString"));
    for (const std::wstring& pending : PendingDeletions()) EXPECT_EQ(std::wstring::npos, pending.find(L"PeloraCore"));
    const std::wstring log = ReadInstallLogText(m_scratch / L"install.txt");
    EXPECT_NE(std::wstring::npos, log.find(pinned)) << "the log names the file that stayed";

    ProductRemoval again(m_shell);
    std::wstring refusal;
    ASSERT_TRUE(again.Prepare(refusal)) << refusal;
    EXPECT_EQ(0, again.Remove(true, nullptr));
    EXPECT_FALSE(FileOrFolderExists(VersionFolder()));
    EXPECT_FALSE(ProductKeyExists());
}

TEST_F(ProductRemovalTest, AReadOnlyFileGoesAndSideFilesOfAnEarlierRunGoWithIt) {
    const std::wstring core = VersionFolder() + L"\\Bin\\PeloraCore.dll";
    ASSERT_TRUE(SetFileAttributesW(core.c_str(), FILE_ATTRIBUTE_READONLY));
    WriteTestFile(core + L"~0123456789abcdef", 5);
    WriteTestFile(core + L".rename", 5);
    WriteTestFile(core + L"~notes", 5, 'n');  // not a side name the product gives: somebody's
    ProductRemoval removal(m_shell);
    std::wstring refusal;
    ASSERT_TRUE(removal.Prepare(refusal)) << refusal;
    EXPECT_EQ(0, removal.Remove(true, nullptr));
    EXPECT_EQ(0, removal.FilesDeferred()) << "nothing was in use";
    EXPECT_FALSE(FileOrFolderExists(core));
    EXPECT_FALSE(FileOrFolderExists(core + L"~0123456789abcdef"));
    EXPECT_FALSE(FileOrFolderExists(core + L".rename"));
    EXPECT_TRUE(FileExists(core + L"~notes"));
}

TEST_F(ProductRemovalTest, SideFilesTheNextStartCouldNotTakeAreDeletedByTheNextRunAndNothingElse) {
    // What an uninstaller run by a standard user records; an edited list may name anything.
    const std::wstring side = Root() + L"\\" + UniqueSideName(L"PeloraUninst.exe");
    const std::wstring notSide = Root() + L"\\PL.exe";
    const std::wstring sideNamedFolder = Root() + L"\\Folder.exe~0123456789abcdef";
    WriteTestFile(side, 12);
    ASSERT_TRUE(CreateDirectoryW(sideNamedFolder.c_str(), nullptr));
    DeleteRegistryTree(HKEY_CURRENT_USER, deploy::kProductKey);
    ASSERT_TRUE(RecordLeftovers({side, notSide, sideNamedFolder}));
    ASSERT_NE(L"<no key>", QueryMultiString(HKEY_CURRENT_USER, deploy::kProductKey, L"Leftovers"));

    RemoveLeftovers();
    EXPECT_FALSE(FileOrFolderExists(side));
    EXPECT_TRUE(FileExists(notSide)) << "not a side name the uninstaller gives";
    EXPECT_TRUE(FolderExists(sideNamedFolder)) << "a folder is never a leftover file";
    EXPECT_EQ(L"<no key>", QueryString(HKEY_CURRENT_USER, deploy::kProductKey, L"Install"))
        << "the key held nothing else and is gone";
}

TEST(SideNames, AreTheProductsOwnAndNeverRepeat) {
    const std::wstring first = UniqueSideName(L"PL.exe");
    EXPECT_NE(first, UniqueSideName(L"PL.exe"));
    EXPECT_TRUE(IsSideNameOf(first, L"PL.exe"));
    EXPECT_TRUE(IsSideNameOf(L"pl.EXE~1", L"PL.exe")) << "the setup's numbered side names";
    EXPECT_TRUE(IsSideNameOf(L"PL.exe.rename", L"PL.exe"));
    EXPECT_FALSE(IsSideNameOf(L"PL.exe", L"PL.exe"));
    EXPECT_FALSE(IsSideNameOf(L"PL.exe~", L"PL.exe"));
    EXPECT_FALSE(IsSideNameOf(L"PL.exe~1.txt", L"PL.exe"));
    EXPECT_FALSE(IsSideNameOf(L"XPL.exe~1", L"PL.exe"));
}

TEST_F(ProductRemovalTest, RefusesWhenNothingIsInstalled) {
    DeleteRegistryTree(HKEY_CURRENT_USER, deploy::kProductKey);
    ProductRemoval removal(m_shell);
    std::wstring refusal;
    EXPECT_FALSE(removal.Prepare(refusal));
    EXPECT_EQ(deploy::kRefuseNotInstalled, refusal);
}

// A product key or a manifest that points elsewhere refuses the whole removal before anything
// changes.
TEST_F(ProductRemovalTest, RefusesAKeyOrManifestThatLeadsOutOfTheInstall) {
    const std::string before = Snapshot();
    WriteTestFile(m_scratch / L"victim.txt", 6, 'v');
    const std::string victim = ReadTestFile(m_scratch / L"victim.txt");

    SetString(HKEY_CURRENT_USER, deploy::kProductKey, L"Install", m_scratch.Path());
    ProductRemoval byKey(m_shell);
    std::wstring refusal;
    EXPECT_FALSE(byKey.Prepare(refusal)) << "a folder without the manifest";
    EXPECT_NE(std::wstring::npos, refusal.find(m_scratch.Path())) << refusal;

    SetString(HKEY_CURRENT_USER, deploy::kProductKey, L"Install", L"C:\\");
    EXPECT_FALSE(ProductRemoval(m_shell).Prepare(refusal)) << "a drive root";

    SetString(HKEY_CURRENT_USER, deploy::kProductKey, L"Install", VersionFolder());
    // The root folder element closes last; the entry goes inside it.
    std::string manifest = ReadTestFile(VersionFolder() + L"\\PeloraInstall.xml");
    const size_t close = manifest.rfind("</folder>");
    ASSERT_NE(std::string::npos, close);
    manifest.insert(close, "<file name=\"..\\..\\victim.txt\" size=\"6\" />\r\n");
    ASSERT_TRUE(WriteText(VersionFolder() + L"\\PeloraInstall.xml", manifest));
    ProductRemoval byManifest(m_shell);
    EXPECT_FALSE(byManifest.Prepare(refusal));
    EXPECT_NE(std::wstring::npos, refusal.find(L"victim.txt")) << refusal;

    EXPECT_EQ(victim, ReadTestFile(m_scratch / L"victim.txt"));
    EXPECT_TRUE(ProductKeyExists());
    EXPECT_EQ(before, Snapshot()) << "the install's files";
}

}  // namespace
