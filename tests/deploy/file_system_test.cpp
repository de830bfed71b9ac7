#include <gtest/gtest.h>

#include "deploy/file_system.h"
#include "deploy/public_files.h"
#include "deploy/install_paths.h"
#include "deploy/retry_pause.h"
#include "deploy_test_support.h"

namespace {

TEST(FolderPaths, CreatesEveryLevelAndReplacesABlockingFile) {
    ScratchFolder scratch;
    // The product's own folder (it holds the manifest): a file in the way there may go.
    WriteTestFile(scratch / L"PeloraInstall.xml", 1);
    EXPECT_TRUE(CreateFolderPath(scratch / L"a\\b\\c"));
    EXPECT_TRUE(FolderExists(scratch / L"a\\b\\c"));
    WriteTestFile(scratch / L"file", 4);
    EXPECT_TRUE(CreateFolderPath(scratch / L"file\\sub\\"));
    EXPECT_TRUE(FolderExists(scratch / L"file\\sub"));
    EXPECT_FALSE(CreateFolderPath(L""));
    EXPECT_FALSE(CreateFolderPath(scratch.Path() + L"\\" + std::wstring(260, L'x')));
}

TEST(FolderPaths, DeleteTreeRemovesEverythingAndRefusesRootsAndWildcards) {
    ScratchFolder scratch;
    WriteTestFile(scratch / L"PeloraInstall.xml", 1);
    WriteTestFile(scratch / L"t\\a\\b.txt", 10);
    WriteTestFile(scratch / L"t\\c.txt", 10);
    EXPECT_TRUE(DeleteFolderTree(scratch / L"t"));
    EXPECT_FALSE(FileOrFolderExists(scratch / L"t"));
    EXPECT_TRUE(DeleteFolderTree(scratch / L"absent"));
    WriteTestFile(scratch / L"keep\\x.txt", 1);
    EXPECT_FALSE(DeleteFolderTree(scratch / L"kee*"));
    EXPECT_FALSE(DeleteFolderTree(L"C:\\"));
    EXPECT_TRUE(FileExists(scratch / L"keep\\x.txt"));
}

TEST(SideNames, MoveAsideUsesTheFirstFreeNumber) {
    ScratchFolder scratch;
    std::wstring path = scratch / L"client.dll";
    WriteTestFile(path, 5);
    // ~1 is taken by a file that is still open, so it can be neither deleted nor reused.
    WriteTestFile(path + L"~1", 1);
    HANDLE held = CreateFileW((path + L"~1").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_TRUE(MoveAside(path));
    EXPECT_FALSE(FileExists(path));
    // The moved file was not in use, so it is gone at once.
    EXPECT_FALSE(FileExists(path + L"~2"));
    EXPECT_TRUE(FileExists(path + L"~1"));
    CloseHandle(held);
    EXPECT_FALSE(MoveAside(scratch / L"absent.dll"));
}

TEST(SideNames, DeleteOrMoveAsideDeletesAFreeFile) {
    ScratchFolder scratch;
    WriteTestFile(scratch / L"a.txt", 5);
    EXPECT_TRUE(DeleteOrMoveAside(scratch / L"a.txt"));
    EXPECT_FALSE(FileExists(scratch / L"a.txt"));
    EXPECT_TRUE(DeleteOrMoveAside(scratch / L"a.txt"));
}

TEST(SideNames, CopyReplacingWritesTheNewContent) {
    ScratchFolder scratch;
    WriteTestFile(scratch / L"new.bin", 20, 'n');
    WriteTestFile(scratch / L"old.bin", 3, 'o');
    EXPECT_TRUE(CopyReplacing((scratch / L"old.bin").c_str(), (scratch / L"new.bin").c_str(), false));
    EXPECT_EQ(ReadTestFile(scratch / L"new.bin"), ReadTestFile(scratch / L"old.bin"));
    EXPECT_FALSE(CopyReplacing(nullptr, (scratch / L"new.bin").c_str(), false));
}

TEST(StagingFolder, ReusesTheFirstNameThatCanBeCleared) {
    std::wstring first = CreateStagingFolder();
    ASSERT_EQ(AppDataFolder() + L"\\Corvane\\STemp\\Pelora\\Pelora~0", first);
    EXPECT_TRUE(FolderExists(first));
    WriteTestFile(first + L"\\stale.txt", 3);
    EXPECT_EQ(first, CreateStagingFolder());
    EXPECT_FALSE(FileExists(first + L"\\stale.txt"));

    // A locked file keeps Pelora~0 alive; the next run moves on to Pelora~1.
    WriteTestFile(first + L"\\locked.txt", 3);
    HANDLE held = CreateFileW((first + L"\\locked.txt").c_str(), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    std::wstring second = CreateStagingFolder();
    CloseHandle(held);
    EXPECT_EQ(AppDataFolder() + L"\\Corvane\\STemp\\Pelora\\Pelora~1", second);
    DeleteFolderTree(AppDataFolder() + L"\\Corvane\\STemp");
}

TEST(TreeQueries, HoldsOnlyManifestAllowsEmptyFoldersOnly) {
    ScratchFolder scratch;
    std::wstring folder = scratch / L"old";
    CreateFolderPath(folder + L"\\empty\\deeper");
    WriteTestFile(folder + L"\\PeloraInstall.xml", 10);
    EXPECT_TRUE(HoldsOnlyManifest(folder, L"PeloraInstall.xml"));
    EXPECT_FALSE(HoldsOnlyManifest(folder, L"peloraInstall.xml"));
    WriteTestFile(folder + L"\\empty\\deeper\\data.bin", 1);
    EXPECT_FALSE(HoldsOnlyManifest(folder, L"PeloraInstall.xml"));
    EXPECT_FALSE(HoldsOnlyManifest(scratch / L"absent", L"PeloraInstall.xml"));
}

TEST(TreeQueries, FolderTreeSizeSumsAndStopsAtItsBudget) {
    ScratchFolder scratch;
    WriteTestFile(scratch / L"t\\a.bin", 100);
    WriteTestFile(scratch / L"t\\s\\b.bin", 23);
    int budget = 100;
    EXPECT_EQ(123u, FolderTreeSize(budget, scratch / L"t"));
    EXPECT_EQ(100 - 4, budget);
    int none = 0;
    EXPECT_EQ(0u, FolderTreeSize(none, scratch / L"t"));
}

TEST(TreeQueries, FindUsersFolderIsCaseSensitive) {
    ScratchFolder scratch;
    CreateFolderPath(scratch / L"v\\a\\users");
    CreateFolderPath(scratch / L"v\\b\\Users\\42");
    std::wstring found;
    int budget = 50;
    EXPECT_TRUE(FindUsersFolder(scratch / L"v", found, budget));
    EXPECT_EQ(scratch / L"v\\b\\Users", found);
    std::wstring none;
    budget = 50;
    EXPECT_FALSE(FindUsersFolder(scratch / L"v\\a", none, budget));
}

TEST(TreeCopy, CopiesEveryFileAndFailsWhenItsBudgetRunsOut) {
    ScratchFolder scratch;
    WriteTestFile(scratch / L"src\\a.bin", 10);
    WriteTestFile(scratch / L"src\\d1\\b.bin", 20);
    WriteTestFile(scratch / L"src\\d1\\d2\\c.bin", 30);
    int budget = 5000;
    EXPECT_TRUE(CopyFolderTree(scratch / L"src", scratch / L"dst", budget));
    EXPECT_EQ(30u, SizeOfFile(scratch / L"dst\\d1\\d2\\c.bin"));
    EXPECT_EQ(5000 - 3, budget);
    // Two folders of budget for a tree of three: part of it would stay behind.
    budget = 2;
    EXPECT_FALSE(CopyFolderTree(scratch / L"src", scratch / L"dst2", budget));
}

TEST(PublicFiles, CopiesThePresentOnesIntoTheProductRoot) {
    ScratchFolder scratch;
    std::wstring versionFolder = scratch / L"App\\1.14.301";
    WriteTestFile(versionFolder + L"\\Bin\\PL.exe", 11);
    WriteTestFile(versionFolder + L"\\Bin\\WebAPI.dll", 12);
    EXPECT_EQ(1, CopyPublicFileToInstallDir(versionFolder));
    EXPECT_EQ(11u, SizeOfFile(scratch / L"App\\PL.exe"));
    EXPECT_EQ(12u, SizeOfFile(scratch / L"App\\WebAPI.dll"));
    EXPECT_FALSE(FileExists(scratch / L"App\\VTService.dll"));
    EXPECT_EQ(0, CopyPublicFileToInstallDir(L"relative\\1.14.301"));
}

void NoPause(unsigned long) {}

// A staged launcher in {scratch}\App\1.14.301\Bin and an older one in the product root.
class HeldPublicFiles : public ::testing::Test {
protected:
    void SetUp() override {
        m_previousPause = SetRetryPauseFunction(NoPause);
        WriteTestFile(versionFolder + L"\\Bin\\PL.exe", 300, 'n');
        WriteTestFile(launcher, 20, 'o');
    }
    void TearDown() override { SetRetryPauseFunction(m_previousPause); }

    std::string Staged() const { return ReadTestFile(versionFolder + L"\\Bin\\PL.exe"); }

    ScratchFolder scratch;
    const std::wstring versionFolder = scratch / L"App\\1.14.301";
    const std::wstring launcher = scratch / L"App\\PL.exe";

private:
    RetryPauseFunction m_previousPause = nullptr;
};

// An older launcher held by a running program: moved aside and replaced when its holder allows a
// rename (a running program does), and otherwise the copy fails, names the file and leaves the old
// one as it was instead of passing for installed.
TEST_F(HeldPublicFiles, AHeldLauncherIsReplacedOrNamedAsTheFailure) {
    HANDLE running = CreateFileW(launcher.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, running);
    std::wstring failed;
    EXPECT_EQ(1, CopyPublicFileToInstallDir(versionFolder, &failed));
    EXPECT_EQ(Staged(), ReadTestFile(launcher));
    CloseHandle(running);

    WriteTestFile(launcher, 20, 'o');
    const std::string old = ReadTestFile(launcher);
    HANDLE locked = CreateFileW(launcher.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, locked);
    EXPECT_EQ(-1, CopyPublicFileToInstallDir(versionFolder, &failed));
    EXPECT_EQ(launcher, failed);
    CloseHandle(locked);
    EXPECT_EQ(old, ReadTestFile(launcher));
}

// The removal of the earlier install deletes the launcher while a program holds it, sharing
// writing and deleting: the name stays until the holder closes it. The copy either fails and names
// it, or passes and keeps the new launcher once the holder is gone; never passes and loses it.
TEST_F(HeldPublicFiles, ALauncherDeletedWhileHeldIsNotReplacedByADoomedCopy) {
    HANDLE holder = CreateFileW(launcher.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    ASSERT_TRUE(DeleteFileW(launcher.c_str()));

    std::wstring failed;
    const int copied = CopyPublicFileToInstallDir(versionFolder, &failed);
    CloseHandle(holder);
    if (copied == 1) {
        EXPECT_EQ(Staged(), ReadTestFile(launcher));
    } else {
        EXPECT_EQ(-1, copied);
        EXPECT_EQ(launcher, failed);
    }
}

TEST(SystemProfile, IsProvidedOnlyWhenMissing) {
    ScratchFolder scratch;
    const std::wstring target = L"C:\\windows\\WMSysPr9.prx";
    DeleteFileW(target.c_str());
    WriteTestFile(scratch / L"program files\\Corvane\\Pelora\\WMSysPr9.prx", 33);
    EXPECT_TRUE(CopySystemProfile(scratch.Path()));
    EXPECT_EQ(33u, SizeOfFile(target));
    WriteTestFile(scratch / L"program files\\Corvane\\Pelora\\WMSysPr9.prx", 44);
    EXPECT_TRUE(CopySystemProfile(scratch.Path()));
    EXPECT_EQ(33u, SizeOfFile(target));
    DeleteFileW(target.c_str());
    EXPECT_FALSE(CopySystemProfile(scratch / L"absent"));
}

}  // namespace
