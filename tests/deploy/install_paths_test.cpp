#include <gtest/gtest.h>

#include <shlobj.h>

#include "deploy/file_system.h"
#include "deploy/install_folder_check.h"
#include "deploy/install_paths.h"
#include "deploy_test_support.h"

namespace {

TEST(PathText, JoinParentAndLastComponent) {
    EXPECT_EQ(L"C:\\a\\b", JoinPath(L"C:\\a", L"b"));
    EXPECT_EQ(L"C:\\a\\b", JoinPath(L"C:\\a\\", L"b"));
    EXPECT_EQ(L"C:\\a/b", JoinPath(L"C:\\a/", L"b"));
    EXPECT_EQ(L"b", JoinPath(L"", L"b"));
    EXPECT_EQ(L"C:\\Apps\\Pelora\\", ParentFolder(L"C:\\Apps\\Pelora\\1.14.301"));
    EXPECT_EQ(L"1.14.301", LastComponent(L"C:\\Apps\\Pelora\\1.14.301"));
    EXPECT_EQ(L"", LastComponent(L"C:\\Apps\\"));
    EXPECT_EQ(L"", LastComponent(L"C:"));
}

TEST(PathText, IsInsideFolderWantsAProperAncestor) {
    EXPECT_TRUE(IsInsideFolder(L"C:\\App\\1.14.301\\Bin", L"C:\\App"));
    EXPECT_TRUE(IsInsideFolder(L"C:\\App\\1.14.301\\", L"C:\\App"));
    EXPECT_TRUE(IsInsideFolder(L"C:\\App\\x", L"C:\\"));
    EXPECT_FALSE(IsInsideFolder(L"C:\\App", L"C:\\App"));
    EXPECT_FALSE(IsInsideFolder(L"C:\\Application\\x", L"C:\\App"));
    EXPECT_FALSE(IsInsideFolder(L"C:\\app\\x", L"C:\\App"));
    EXPECT_FALSE(IsInsideFolder(L"", L"C:\\App"));
}

TEST(WellKnownFolders, DeriveFromApplicationData) {
    std::wstring appData = AppDataFolder();
    ASSERT_FALSE(appData.empty());
    EXPECT_EQ(appData + L"\\Corvane\\Pelora\\App", DefaultProductRoot());
    EXPECT_EQ(appData + L"\\Corvane\\Pelora\\AUTemp", UpdateTempFolder());
    EXPECT_EQ(appData + L"\\Corvane\\Pelora\\AuUpdate\\", UpdateFolder());
    EXPECT_EQ(appData + L"\\Corvane\\Pelora\\Misc", MiscFolder());
    EXPECT_EQ(appData + L"\\Corvane\\PeloraProgs", ProgramsFolder());
    std::wstring setup = SetupFolder();
    ASSERT_FALSE(setup.empty());
    EXPECT_EQ(L'\\', setup.back());
    EXPECT_TRUE(FileExists(setup + L"deploy_tests.exe"));
}

TEST(WellKnownFolders, DefaultVersionFolderUsesInstallDirOrTheDefaultRoot) {
    EXPECT_EQ(L"D:\\Apps\\1.14.301", DefaultVersionFolder(L"D:\\Apps"));
    EXPECT_EQ(DefaultProductRoot() + L"\\1.14.301", DefaultVersionFolder(L""));
}

TEST(InstallPathValidity, AcceptsNamesOnAFixedDrive) {
    EXPECT_TRUE(IsValidInstallPath(L"C:\\Program Files\\Pelora"));
    EXPECT_TRUE(IsValidInstallPath(L"C:\\a b\\映彩直播"));
}

TEST(InstallPathValidity, RefusesBadNamesAndRelativePaths) {
    EXPECT_FALSE(IsValidInstallPath(L"C:\\Apps\\Pel?ra"));
    EXPECT_FALSE(IsValidInstallPath(L"C:\\Apps\\Pel*ra"));
    EXPECT_FALSE(IsValidInstallPath(L"C:\\Apps\\a|b"));
    EXPECT_FALSE(IsValidInstallPath(L"C:\\Apps\\\"x\""));
    EXPECT_FALSE(IsValidInstallPath(L"C:\\Apps\\a<b>"));
    EXPECT_FALSE(IsValidInstallPath(L"C:\\Apps\\a/b"));
    EXPECT_FALSE(IsValidInstallPath(std::wstring(L"C:\\Apps\\a") + L'\x1f'));
    EXPECT_FALSE(IsValidInstallPath(L"C:\\Apps\\\\Pelora"));
    EXPECT_FALSE(IsValidInstallPath(L"Apps\\Pelora"));
    EXPECT_FALSE(IsValidInstallPath(L"\\Apps\\Pelora"));
    EXPECT_FALSE(IsValidInstallPath(L"C:Apps\\Pelora"));
    EXPECT_FALSE(IsValidInstallPath(L"C:\\"));
    EXPECT_FALSE(IsValidInstallPath(L""));
    EXPECT_FALSE(IsValidInstallPath(L"C:\\" + std::wstring(300, L'a')));
}

TEST(InstallPathValidity, RefusesDrivesThatAreNotFixed) {
    EXPECT_FALSE(IsValidInstallPath(L"\\\\server\\share\\Pelora"));
    // A drive letter with no drive behind it.
    EXPECT_EQ(static_cast<UINT>(DRIVE_NO_ROOT_DIR), DriveTypeOf(L"Q:\\Pelora"));
    EXPECT_FALSE(IsValidInstallPath(L"Q:\\Pelora"));
    EXPECT_EQ(kInstallFolderInvalid, CheckInstallFolder(L"Q:\\Pelora", kRequiredInstallSpace));
    EXPECT_EQ(static_cast<UINT>(DRIVE_FIXED), DriveTypeOf(L"C:\\windows"));
    EXPECT_EQ(0u, DriveTypeOf(L"relative\\path"));
}

TEST(FreeSpaceText, FormatsMegabytesAndGigabytes) {
    EXPECT_EQ(L"572.2M", FormatFreeSpace(600000000ull));
    EXPECT_EQ(L"10.0G", FormatFreeSpace(10ull << 30));
    EXPECT_EQ(L"0M", FormatFreeSpace(100));
    EXPECT_EQ(L"77.0M", FormatFreeSpace(kRequiredInstallSpace));
    EXPECT_EQ(L"1.5G", FormatFreeSpace(3ull << 29));
}

TEST(FreeSpaceText, ReadsTheVolume) {
    uint64_t freeBytes = 1;
    std::wstring text = FreeSpace(L"C:\\", freeBytes);
    EXPECT_GT(freeBytes, 0u);
    EXPECT_EQ(FormatFreeSpace(freeBytes), text);
    EXPECT_EQ(L"", FreeSpace(L"Q:\\", freeBytes));
    EXPECT_EQ(0u, freeBytes);
}

TEST(WriteAccess, KeepsLeftoverProbesWithContentAndLeavesNoProbeOfItsOwn) {
    ScratchFolder scratch;
    std::wstring chosen = scratch / L"Pelora";
    for (int i = 0; i < 5; ++i) {
        WriteTestFile(chosen + L"\\" + std::to_wstring(i) + L"test\\leftover.txt", 3);
    }
    EXPECT_TRUE(HasWriteAccess(chosen));
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(3u, SizeOfFile(chosen + L"\\" + std::to_wstring(i) + L"test\\leftover.txt")) << "probe " << i;
    }
    EXPECT_FALSE(FileOrFolderExists(chosen + L"\\5test"));
    EXPECT_TRUE(FolderExists(chosen));
}

TEST(WriteAccess, CreatesTheChosenFolderAndFailsWhereAFileBlocks) {
    ScratchFolder scratch;
    EXPECT_TRUE(HasWriteAccess(scratch / L"new\\deeper"));
    EXPECT_TRUE(FolderExists(scratch / L"new\\deeper"));
    WriteTestFile(scratch / L"blocker", 1);
    EXPECT_FALSE(HasWriteAccess(scratch / L"blocker\\Pelora"));
    EXPECT_FALSE(HasWriteAccess(L""));
}

TEST(InstallFolderVerdict, AcceptsAWritableFolderOnTheFixedDrive) {
    ScratchFolder scratch;
    EXPECT_EQ(kInstallFolderOk, CheckInstallFolder(scratch / L"Pelora", kRequiredInstallSpace));
    EXPECT_EQ(kInstallFolderInvalid, CheckInstallFolder(scratch / L"Pel?ra", kRequiredInstallSpace));
    EXPECT_EQ(kInstallFolderInvalid, CheckInstallFolder(L"\\\\server\\share\\x", kRequiredInstallSpace));
}

TEST(InstallFolderVerdict, ReportsAFolderThatCannotBeWritten) {
    ScratchFolder scratch;
    WriteTestFile(scratch / L"blocker", 1);
    EXPECT_EQ(kInstallFolderNoAccess,
              CheckInstallFolder(scratch / L"blocker\\Pelora", kRequiredInstallSpace));
}

TEST(InstallFolderVerdict, SetInstallFolderKeepsAWorkingChoice) {
    ScratchFolder scratch;
    std::wstring versionFolder, replacement;
    EXPECT_EQ(kInstallFolderOk,
              SetInstallFolder(scratch / L"Pelora\\1.14.301", kRequiredInstallSpace, versionFolder,
                               replacement));
    EXPECT_EQ(scratch / L"Pelora\\1.14.301", versionFolder);
    EXPECT_TRUE(replacement.empty());
    EXPECT_TRUE(FolderExists(versionFolder));
    EXPECT_EQ(kInstallFolderInvalid,
              SetInstallFolder(scratch / L"a*b", kRequiredInstallSpace, versionFolder, replacement));
}

TEST(UserNumber, FindsTheFirstAllDigitFolder) {
    // Windows 7: My Documents\Corvane Files\.
    std::wstring usersFolder = UserDataFolder(L"C:\\unused");
    ASSERT_FALSE(usersFolder.empty());
    RemoveTestTree(usersFolder);
    EXPECT_EQ(0, FindUserNumber(L"C:\\unused"));
    CreateFolderPath(usersFolder + L"abc");
    CreateFolderPath(usersFolder + L"12a");
    WriteTestFile(usersFolder + L"777", 1);
    EXPECT_EQ(0, FindUserNumber(L"C:\\unused"));
    CreateFolderPath(usersFolder + L"4711");
    EXPECT_EQ(4711, FindUserNumber(L"C:\\unused"));
    RemoveTestTree(usersFolder);
}

}  // namespace
