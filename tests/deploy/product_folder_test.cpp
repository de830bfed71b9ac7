// Which folders the setup may clear, and what every deleting routine does with a folder that is
// not the product's: the user's files stay byte for byte.
#include <gtest/gtest.h>

#include <cwctype>

#include "deploy/file_deployer.h"
#include "deploy/file_system.h"
#include "deploy/install_folder_check.h"
#include "deploy/install_paths.h"
#include "deploy/product_folder.h"
#include "deploy_test_support.h"

namespace {

const wchar_t kManifest[] = L"PeloraInstall.xml";

// A scratch folder that an earlier install has made the product's: it holds the manifest.
std::wstring MakeInstalledFolder(const ScratchFolder& scratch, const std::wstring& name) {
    std::wstring folder = scratch / name;
    WriteTestFile(JoinPath(folder, kManifest), 12);
    return folder;
}

TEST(ProductFolderRule, KnowsTheProductRootsInEverySpelling) {
    const std::wstring root = DefaultProductRoot();
    const std::wstring staging = StagingRootFolder();
    ASSERT_FALSE(root.empty());
    EXPECT_TRUE(IsProductFolder(root));
    EXPECT_TRUE(IsProductFolder(root + L"\\1.14.301\\Bin"));
    EXPECT_TRUE(IsProductFolder(staging + L"\\Pelora\\Pelora~0"));
    // The updater's programs folder goes after an install; its neighbours are not the product's.
    EXPECT_TRUE(IsProductFolder(ProgramsFolder()));
    EXPECT_TRUE(IsProductFolder(ProgramsFolder() + L"\\1.13.0\\Bin"));
    EXPECT_FALSE(IsProductFolder(ProgramsFolder() + L"Old"));
    // Letter case, forward slashes, a trailing backslash and ".." name the same folders.
    std::wstring lower = root;
    for (wchar_t& c : lower) c = static_cast<wchar_t>(towlower(c));
    EXPECT_TRUE(IsProductFolder(lower + L"\\1.14.301\\"));
    std::wstring slashed = root;
    for (wchar_t& c : slashed) c = c == L'\\' ? L'/' : c;
    EXPECT_TRUE(IsProductFolder(slashed + L"/1.14.301"));
    EXPECT_TRUE(IsProductFolder(root + L"\\1.14.301\\..\\..\\App\\x"));

    // What lies above or beside them is not the product's, however it is spelt.
    EXPECT_FALSE(IsProductFolder(root + L"\\.."));
    EXPECT_FALSE(IsProductFolder(root + L"\\1.14.301\\..\\..\\Misc"));
    EXPECT_FALSE(IsProductFolder(root + L"Other"));
    EXPECT_FALSE(IsProductFolder(AppDataFolder()));
    for (const wchar_t* odd : {L"", L"C:", L"C:\\", L"C:/", L"C:\\x\\..", L"App\\1.14.301", L"\\Apps", L"C:Apps"})
        EXPECT_FALSE(IsProductFolder(odd)) << odd;
}

TEST(ProductFolderRule, AFolderHoldingTheManifestIsTheProductsWithEverythingBelow) {
    ScratchFolder scratch;
    std::wstring installed = MakeInstalledFolder(scratch, L"Apps\\1.14.301");
    EXPECT_TRUE(IsProductFolder(installed));
    EXPECT_TRUE(IsProductFolder(installed + L"\\Bin\\deeper"));
    EXPECT_FALSE(IsProductFolder(scratch / L"Apps"));
    EXPECT_FALSE(IsProductFolder(scratch / L"Apps\\1.14.300"));
    EXPECT_FALSE(IsProductFolder(scratch.Path()));
    // A folder named like the manifest proves nothing.
    CreateFolderPath(scratch / L"Fake\\PeloraInstall.xml");
    EXPECT_FALSE(IsProductFolder(scratch / L"Fake"));

    // Not even a manifest makes a drive root, or what lies below it, the product's.
    WriteTestFile(L"C:\\PeloraInstall.xml", 3);
    EXPECT_FALSE(IsProductFolder(L"C:\\"));
    EXPECT_FALSE(IsProductFolder(scratch / L"Other"));
    DeleteFileW(L"C:\\PeloraInstall.xml");
}

TEST(ProductFolderRule, ForeignDataIsAFileOrAFolderWithContentOutsideTheProduct) {
    ScratchFolder scratch;
    WriteTestFile(scratch / L"Data\\1.14.301\\notes.txt", 9);
    WriteTestFile(scratch / L"file", 4);
    CreateFolderPath(scratch / L"Empty\\1.14.301");
    EXPECT_TRUE(HoldsForeignData(scratch / L"Data\\1.14.301"));
    EXPECT_TRUE(HoldsForeignData(scratch / L"file"));
    EXPECT_FALSE(HoldsForeignData(scratch / L"Empty\\1.14.301"));
    EXPECT_FALSE(HoldsForeignData(scratch / L"absent"));
    std::wstring installed = MakeInstalledFolder(scratch, L"Mine\\1.14.301");
    WriteTestFile(installed + L"\\Bin\\Pelora.exe", 5);
    EXPECT_FALSE(HoldsForeignData(installed));
    WriteTestFile(DefaultProductRoot() + L"\\1.14.301\\Bin\\x.dll", 3);
    EXPECT_FALSE(HoldsForeignData(DefaultProductRoot() + L"\\1.14.301"));
    EXPECT_TRUE(DeleteFolderTree(DefaultProductRoot()));
}

TEST(DeleteTree, RefusesEveryRootSpellingAndKeepsTheDrive) {
    WriteTestFile(L"C:\\canary.txt", 6);
    for (const wchar_t* root : {L"C:", L"C:\\", L"C:/", L"C:\\windows\\..", L"C:/windows/../", L"c:\\.", L"\\", L"."})
        EXPECT_FALSE(DeleteFolderTree(root)) << root;
    EXPECT_EQ(6u, SizeOfFile(L"C:\\canary.txt"));
    DeleteFileW(L"C:\\canary.txt");
}

TEST(DeleteTree, LeavesAFolderThatIsNotTheProductsUntouched) {
    ScratchFolder scratch;
    WriteTestFile(scratch / L"Data\\1.14.301\\notes.txt", 9, 'u');
    const std::string before = ReadTestFile(scratch / L"Data\\1.14.301\\notes.txt");
    EXPECT_FALSE(DeleteFolderTree(scratch / L"Data\\1.14.301"));
    EXPECT_FALSE(DeleteFolderTree(scratch / L"Data\\1.14.301\\notes.txt"));
    EXPECT_EQ(before, ReadTestFile(scratch / L"Data\\1.14.301\\notes.txt"));
    // Nothing there is nothing lost.
    EXPECT_TRUE(DeleteFolderTree(scratch / L"absent"));
}

TEST(DeleteTree, RemovesAProductTreeWithReadOnlyFiles) {
    ScratchFolder scratch;
    std::wstring installed = MakeInstalledFolder(scratch, L"Apps\\1.14.301");
    WriteTestFile(installed + L"\\Bin\\deep\\a.dll", 10);
    WriteTestFile(installed + L"\\b.txt", 10);
    SetFileAttributesW((installed + L"\\b.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(DeleteFolderTree(installed));
    EXPECT_FALSE(FileOrFolderExists(installed));
    EXPECT_TRUE(FolderExists(scratch / L"Apps"));
}

TEST(DeleteTree, ALockedFileStaysAndTheRestGoes) {
    ScratchFolder scratch;
    std::wstring installed = MakeInstalledFolder(scratch, L"Apps\\1.14.301");
    WriteTestFile(installed + L"\\Bin\\held.dll", 10);
    WriteTestFile(installed + L"\\Bin\\free.dll", 10);
    HANDLE held = CreateFileW((installed + L"\\Bin\\held.dll").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_FALSE(DeleteFolderTree(installed));
    CloseHandle(held);
    EXPECT_TRUE(FileExists(installed + L"\\Bin\\held.dll"));
    EXPECT_FALSE(FileExists(installed + L"\\Bin\\free.dll"));
}

TEST(CreateFolders, AFileInTheWayIsRemovedOnlyInsideTheProductsFolders) {
    ScratchFolder scratch;
    WriteTestFile(scratch / L"Apps", 7, 'u');
    const std::string before = ReadTestFile(scratch / L"Apps");
    EXPECT_FALSE(CreateFolderPath(scratch / L"Apps\\1.14.301"));
    EXPECT_EQ(before, ReadTestFile(scratch / L"Apps"));

    std::wstring installed = MakeInstalledFolder(scratch, L"Mine");
    WriteTestFile(installed + L"\\Bin", 3);
    EXPECT_TRUE(CreateFolderPath(installed + L"\\Bin\\sub"));
    EXPECT_TRUE(FolderExists(installed + L"\\Bin\\sub"));
}

TEST(WriteProbe, KeepsAProbeNameThatHoldsAnythingAndRemovesOnlyEmptyOnes) {
    ScratchFolder scratch;
    std::wstring chosen = scratch / L"Chosen";
    WriteTestFile(chosen + L"\\0test\\report.doc", 11, 'u');
    CreateFolderPath(chosen + L"\\1test");
    WriteTestFile(chosen + L"\\2test", 5, 'u');
    EXPECT_TRUE(HasWriteAccess(chosen));
    EXPECT_EQ(11u, SizeOfFile(chosen + L"\\0test\\report.doc"));
    EXPECT_EQ(5u, SizeOfFile(chosen + L"\\2test"));
    EXPECT_FALSE(FileOrFolderExists(chosen + L"\\1test")) << "an empty leftover probe goes";
    EXPECT_FALSE(FileOrFolderExists(chosen + L"\\3test")) << "the probe made is removed again";

    // Five names taken by data: the sixth stands as it is, and a folder found there stays.
    for (int i = 0; i < 5; ++i) WriteTestFile(chosen + L"\\" + std::to_wstring(i) + L"test\\x", 1);
    CreateFolderPath(chosen + L"\\5test");
    EXPECT_FALSE(HasWriteAccess(chosen));
    EXPECT_TRUE(FolderExists(chosen + L"\\5test"));
}

TEST(InstallFolderVerdict, AFolderHoldingSomebodysFilesIsInvalid) {
    ScratchFolder scratch;
    WriteTestFile(scratch / L"Data\\1.14.301\\notes.txt", 9);
    std::wstring versionFolder, replacement;
    EXPECT_EQ(kInstallFolderInvalid, CheckInstallFolder(scratch / L"Data\\1.14.301", kRequiredInstallSpace));
    EXPECT_EQ(kInstallFolderInvalid, SetInstallFolder(scratch / L"Data\\1.14.301", kRequiredInstallSpace,
                                                      versionFolder, replacement));
    EXPECT_FALSE(FileOrFolderExists(scratch / L"Data\\1.14.301\\0test"));
    // An earlier install of the product, or an empty folder, is fine.
    std::wstring installed = MakeInstalledFolder(scratch, L"Apps\\1.14.301");
    WriteTestFile(installed + L"\\Bin\\Pelora.exe", 5);
    EXPECT_EQ(kInstallFolderOk, CheckInstallFolder(installed, kRequiredInstallSpace));
    CreateFolderPath(scratch / L"Empty\\1.14.301");
    EXPECT_EQ(kInstallFolderOk, CheckInstallFolder(scratch / L"Empty\\1.14.301", kRequiredInstallSpace));
}

TEST(InstallPathValidity, RefusesDotNamesAndAcceptsOneTrailingBackslash) {
    for (const wchar_t* path : {L"C:\\.", L"C:\\..", L"C:\\Apps\\..", L"C:\\Apps\\.\\x", L"C:\\...", L"C:\\ ",
                                L"C:\\Apps\\\\"})
        EXPECT_FALSE(IsValidInstallPath(path)) << path;
    EXPECT_TRUE(IsValidInstallPath(L"C:\\Apps\\"));
    EXPECT_TRUE(IsValidInstallPath(L"C:\\Apps.old\\.hidden"));
}

TEST(RemovePreviousSafety, AFolderTheProductKeyNamesIsIgnoredUnlessItIsTheProducts) {
    ScratchFolder scratch;
    std::wstring documents = scratch / L"Documents";
    WriteTestFile(documents + L"\\thesis.doc", 30, 'u');
    CreateFolderPath(documents + L"\\empty");
    FileDeployer deployer(scratch / L"staging", nullptr);
    deployer.SetOldInstallFolder(documents);
    deployer.SetOldManifestPath(documents + L"\\PeloraInstall.xml");
    EXPECT_EQ(1, deployer.RemovePrevious());
    EXPECT_EQ(30u, SizeOfFile(documents + L"\\thesis.doc"));
    EXPECT_TRUE(FolderExists(documents + L"\\empty"));
    EXPECT_FALSE(FileExists(documents + L"\\PeloraInstall.xml")) << "no manifest is written there";
}

}  // namespace
