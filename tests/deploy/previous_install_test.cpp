// Taking an earlier install apart: what goes, what stays, and which steps report failure.
#include <gtest/gtest.h>

#include "deploy/file_system.h"
#include "deploy/install_paths.h"
#include "deploy/previous_install.h"
#include "deploy/previous_install_constants.h"
#include "deploy/service_control.h"
#include "deploy_test_support.h"
#include "diag/windows_version.h"

namespace {

const wchar_t* const kRootFiles[] = {L"PeloraUninst.exe", L"PL.exe", L"VTService.dll", L"WebAPI.dll",
                                     L"VoctoUninst.exe"};

class PreviousInstall : public ::testing::Test {
protected:
    ScratchFolder scratch;
    std::wstring root = scratch / L"Pelora";
    std::wstring oldFolder = root + L"\\1.13.0";

    void TearDown() override { OverrideOsVersionCode(0); }

    // An old install as the engine finds it: version folder with manifest, public files in the root.
    void MakeOldInstall(bool withWebComponent) {
        WriteTestFile(oldFolder + L"\\PeloraInstall.xml", 0);
        WriteTestFile(oldFolder + L"\\Bin\\Pelora.exe", 100);
        WriteTestFile(oldFolder + L"\\Bin\\only-in-the-old-payload.dll", 10);
        for (const wchar_t* name : kRootFiles) {
            if (withWebComponent || std::wstring(name) != L"WebAPI.dll") WriteTestFile(JoinPath(root, name), 8);
        }
    }
};

TEST_F(PreviousInstall, PublicFilesGoAndEverythingElseInTheRootStays) {
    MakeOldInstall(true);
    WriteTestFile(root + L"\\notes.txt", 5);
    EXPECT_TRUE(DeletePublicFiles(oldFolder));
    for (const wchar_t* name : kRootFiles) EXPECT_FALSE(FileExists(JoinPath(root, name))) << name;
    EXPECT_EQ(5u, SizeOfFile(root + L"\\notes.txt"));
    EXPECT_TRUE(FileExists(oldFolder + L"\\Bin\\Pelora.exe")) << "the version folder is not touched";
    EXPECT_TRUE(DeletePublicFiles(L"")) << "nothing to do for an empty folder";
}

TEST_F(PreviousInstall, APublicFileInUseIsReported) {
    MakeOldInstall(false);
    const std::wstring launcher = root + L"\\PL.exe";
    HANDLE held = CreateFileW(launcher.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_FALSE(DeletePublicFiles(oldFolder));
    CloseHandle(held);
    EXPECT_TRUE(FileExists(launcher));
    EXPECT_FALSE(FileExists(root + L"\\PeloraUninst.exe")) << "the others go all the same";
}

TEST_F(PreviousInstall, RemovalEmptiesTheRootAndOnlyTheMissingServiceIsReported) {
    MakeOldInstall(false);
    const std::vector<uint32_t> failed = UninstallPrevious(oldFolder, scratch / L"Staging", nullptr);
    EXPECT_EQ(std::vector<uint32_t>{deploy::kErrorStopService}, failed);
    EXPECT_FALSE(FileOrFolderExists(root)) << "the emptied root itself is gone";
}

// Below Vista no service was ever registered, so its absence is no failure of the removal. The
// old version folder stays there (it holds the users' data until they move), and with it the root.
TEST_F(PreviousInstall, BelowVistaTheMissingServiceIsNotAFailure) {
    OverrideOsVersionCode(0x501);
    MakeOldInstall(false);
    const std::vector<uint32_t> failed = UninstallPrevious(oldFolder, scratch / L"Staging", nullptr);
    EXPECT_EQ(std::vector<uint32_t>{deploy::kErrorRemoveOldRoot}, failed);
    EXPECT_TRUE(FolderExists(oldFolder));
    EXPECT_FALSE(FileExists(oldFolder + L"\\Bin\\only-in-the-old-payload.dll"));
}

TEST_F(PreviousInstall, AUsersFileInTheRootKeepsItAndIsReported) {
    MakeOldInstall(false);
    WriteTestFile(root + L"\\my-settings.ini", 7);
    const std::vector<uint32_t> failed = UninstallPrevious(oldFolder, scratch / L"Staging", nullptr);
    EXPECT_EQ((std::vector<uint32_t>{deploy::kErrorStopService, deploy::kErrorRemoveOldRoot}), failed);
    EXPECT_EQ(7u, SizeOfFile(root + L"\\my-settings.ini"));
    EXPECT_FALSE(FileExists(oldFolder + L"\\Bin\\only-in-the-old-payload.dll"));
    EXPECT_FALSE(FileExists(root + L"\\PL.exe"));
}

TEST_F(PreviousInstall, AWebComponentRegsvr32CannotUnloadIsReported) {
    MakeOldInstall(true);  // the test's WebAPI.dll is no library
    const std::vector<uint32_t> failed = UninstallPrevious(oldFolder, scratch / L"Staging", nullptr);
    ASSERT_FALSE(failed.empty());
    EXPECT_EQ(deploy::kErrorUnregisterWebComponent, failed.front());
    EXPECT_FALSE(FileExists(root + L"\\WebAPI.dll")) << "the later steps ran";
    EXPECT_TRUE(UnregisterServer(scratch / L"absent\\WebAPI.dll", L"")) << "nothing to unregister";
}

TEST(ServiceControl, AMissingServiceCannotBeStopped) { EXPECT_FALSE(StopService()); }

class UsersFolderMove : public PreviousInstall {
protected:
    std::wstring newFolder = root + L"\\1.14.301";
    // Staging folders live below the product's staging root.
    std::wstring staging = StagingRootFolder() + L"\\Pelora\\UsersFolderMove~0";

    void SetUp() override { WriteTestFile(oldFolder + L"\\PeloraInstall.xml", 0); }
    void TearDown() override {
        RemoveTestTree(staging);
        PreviousInstall::TearDown();
    }
};

TEST_F(UsersFolderMove, BelowVistaTheOldUsersFolderMovesIntoTheNewVersion) {
    OverrideOsVersionCode(0x501);
    WriteTestFile(oldFolder + L"\\Users\\1001\\history.db", 30);
    EXPECT_TRUE(MigrateUsersFolder(oldFolder, staging, newFolder));
    EXPECT_EQ(30u, SizeOfFile(newFolder + L"\\Users\\1001\\history.db"));
    EXPECT_FALSE(FileOrFolderExists(oldFolder + L"\\Users"));
}

TEST_F(UsersFolderMove, FromVistaOnNothingMoves) {
    OverrideOsVersionCode(0x601);
    WriteTestFile(oldFolder + L"\\Users\\1001\\history.db", 30);
    EXPECT_TRUE(MigrateUsersFolder(oldFolder, staging, newFolder));
    EXPECT_EQ(30u, SizeOfFile(oldFolder + L"\\Users\\1001\\history.db"));
    EXPECT_FALSE(FileOrFolderExists(newFolder + L"\\Users"));
}

TEST_F(UsersFolderMove, ReinstallingTheSameVersionKeepsTheUsersFolder) {
    OverrideOsVersionCode(0x501);
    WriteTestFile(oldFolder + L"\\Users\\1001\\history.db", 30);
    EXPECT_TRUE(MigrateUsersFolder(oldFolder, staging, oldFolder + L"\\"));
    EXPECT_TRUE(MigrateUsersFolder(oldFolder, staging, oldFolder));
    EXPECT_EQ(30u, SizeOfFile(oldFolder + L"\\Users\\1001\\history.db"));
}

TEST_F(UsersFolderMove, WithoutAnOldOneTheStagedUsersFolderIsUsed) {
    OverrideOsVersionCode(0x501);
    WriteTestFile(staging + L"\\program files\\Corvane\\Pelora\\Users\\seed.txt", 4);
    EXPECT_TRUE(MigrateUsersFolder(oldFolder, staging, newFolder));
    EXPECT_EQ(4u, SizeOfFile(newFolder + L"\\Users\\seed.txt"));
    EXPECT_TRUE(MigrateUsersFolder(scratch / L"none", scratch / L"empty", newFolder)) << "nothing to move";
}

TEST_F(UsersFolderMove, ASourceThatIsNotTheProductsIsCopiedButNotDeleted) {
    OverrideOsVersionCode(0x501);
    // A version folder without its manifest outside the default root is somebody's folder.
    const std::wstring foreign = scratch / L"Foreign\\1.0";
    WriteTestFile(foreign + L"\\Users\\keep.txt", 6);
    EXPECT_FALSE(MigrateUsersFolder(foreign, staging, newFolder));
    EXPECT_EQ(6u, SizeOfFile(foreign + L"\\Users\\keep.txt"));
    EXPECT_EQ(6u, SizeOfFile(newFolder + L"\\Users\\keep.txt"));
}

}  // namespace
