#include <gtest/gtest.h>

#include <vector>

#include "common/progress_callbacks.h"
#include "deploy/file_deployer.h"
#include "deploy/file_system.h"
#include "deploy/install_paths.h"
#include "deploy/product_registry.h"
#include "deploy/retry_pause.h"
#include "diag/windows_version.h"
#include "deploy_test_support.h"

namespace {

class ProgressRecorder : public IPlProgressCallback {
public:
    void OnProgress(float fraction) override { values.push_back(fraction); }
    std::vector<float> values;
};

std::vector<unsigned long> g_pauses;
void RecordPause(unsigned long milliseconds) { g_pauses.push_back(milliseconds); }

class FileDeployerTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_pauses.clear();
        m_previousPause = SetRetryPauseFunction(RecordPause);
        tree = m_scratch / L"staging\\program files\\Corvane\\Pelora";
        versionFolder = m_scratch / L"App\\1.14.301";
    }
    void TearDown() override {
        SetRetryPauseFunction(m_previousPause);
        OverrideOsVersionCode(0);
    }

    FileDeployer MakeInstaller(IPlProgressCallback* progress = nullptr) {
        FileDeployer deployer(m_scratch / L"staging", progress);
        deployer.SetTargetRoot(versionFolder);
        deployer.SetManifestPath(versionFolder + L"\\PeloraInstall.xml");
        return deployer;
    }

    void StageProduct() {
        WriteTestFile(tree + L"\\Bin\\Pelora.exe", 200, 'n');
        WriteTestFile(tree + L"\\Bin\\VTService.dll", 300, 'n');
        WriteTestFile(tree + L"\\WMSysPr9.prx", 100, 'n');
        WriteTestFile(tree + L"\\Misc\\CVSSO\\CVSSO\\sso.dat", 400, 'n');
    }

    ScratchFolder m_scratch;
    std::wstring tree;
    std::wstring versionFolder;

private:
    RetryPauseFunction m_previousPause = nullptr;
};

TEST_F(FileDeployerTest, InstallCopiesTheStagedTreeAndReportsProgress) {
    StageProduct();
    ProgressRecorder progress;
    FileDeployer deployer = MakeInstaller(&progress);
    ASSERT_EQ(1, deployer.Install());
    EXPECT_TRUE(deployer.LastFailedFile().empty());
    for (const wchar_t* file : {L"Bin\\Pelora.exe", L"Bin\\VTService.dll", L"WMSysPr9.prx",
                                L"Misc\\CVSSO\\CVSSO\\sso.dat"}) {
        EXPECT_EQ(ReadTestFile(tree + L"\\" + file), ReadTestFile(versionFolder + L"\\" + file));
    }
    EXPECT_TRUE(FileExists(versionFolder + L"\\PeloraInstall.xml"));
    EXPECT_EQ(1000u, deployer.TotalBytes());
    EXPECT_EQ(1000u, deployer.BytesCopied());
    ASSERT_EQ(4u, progress.values.size());
    EXPECT_FLOAT_EQ(1.0f, progress.values.back());
    for (size_t i = 1; i < progress.values.size(); ++i)
        EXPECT_GT(progress.values[i], progress.values[i - 1]);
    EXPECT_TRUE(g_pauses.empty());
}

TEST_F(FileDeployerTest, ALockedTargetIsMovedAsideAndReplaced) {
    StageProduct();
    std::wstring target = versionFolder + L"\\Bin\\Pelora.exe";
    WriteTestFile(target, 50, 'o');
    // The running client keeps its file open for reading; it may be renamed but not overwritten.
    HANDLE held = CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    FileDeployer deployer = MakeInstaller();
    int result = deployer.Install();
    std::string oldContent = ReadTestFile(target + L"~1");
    CloseHandle(held);
    ASSERT_EQ(1, result);
    EXPECT_EQ(ReadTestFile(tree + L"\\Bin\\Pelora.exe"), ReadTestFile(target));
    EXPECT_EQ(200u, SizeOfFile(target));
    // The old file went to the first side name (deleted at once or at the next reboot).
    EXPECT_TRUE(oldContent == "<missing>" || oldContent.size() == 50u);
    EXPECT_TRUE(g_pauses.empty());
}

// Like a running client: the program image is mapped, so the file may be renamed but neither
// overwritten nor deleted. The side file is left to the next reboot.
TEST_F(FileDeployerTest, ARunningProgramIsMovedAsideAndDeletedAtTheNextReboot) {
    StageProduct();
    std::wstring target = versionFolder + L"\\Bin\\Pelora.exe";
    CreateFolderPath(versionFolder + L"\\Bin");
    MappedProgramImage image(target);
    ASSERT_TRUE(image.IsHeld());

    FileDeployer deployer = MakeInstaller();
    int result = deployer.Install();
    bool sideFileKept = FileExists(target + L"~1");
    image.Release();

    ASSERT_EQ(1, result);
    EXPECT_EQ(ReadTestFile(tree + L"\\Bin\\Pelora.exe"), ReadTestFile(target));
    EXPECT_TRUE(sideFileKept);
    std::wstring pending = QueryMultiString(
        HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager",
        L"PendingFileRenameOperations");
    EXPECT_NE(std::wstring::npos, pending.find(L"Pelora.exe~1")) << "delete at reboot";
}

TEST_F(FileDeployerTest, AFileThatCanNeitherBeCopiedNorMovedFailsTheInstall) {
    StageProduct();
    std::wstring target = versionFolder + L"\\Bin\\Pelora.exe";
    WriteTestFile(target, 50, 'o');
    // Held for reading without share-write (no overwrite) and without share-delete (no rename).
    HANDLE held = CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    FileDeployer deployer = MakeInstaller();
    int result = deployer.Install();
    CloseHandle(held);
    EXPECT_EQ(0, result);
    EXPECT_EQ(target, deployer.LastFailedFile());
    // Five rounds, each followed by a one-second pause.
    EXPECT_EQ(std::vector<unsigned long>(5, 1000), g_pauses);
    EXPECT_EQ(50u, SizeOfFile(target));
}

// The deepest staged path is Misc\CVSSO\CVSSO\sso.dat (26 characters); a replaced file may grow by
// ".rename" (7). A version folder that leaves the deepest path at 259 characters with that room
// installs; one character more fails before any file is copied, naming the path that would not fit.
TEST_F(FileDeployerTest, TheDeepestPathMustFitBelowTheTarget) {
    StageProduct();
    const std::wstring deepest = L"\\Misc\\CVSSO\\CVSSO\\sso.dat";
    const size_t room = MAX_PATH - 1 - 7 - deepest.size();
    const std::wstring base = m_scratch / L"v";
    ASSERT_LT(base.size(), room);
    versionFolder = base + std::wstring(room - base.size(), L'x');
    ASSERT_EQ(room, versionFolder.size());
    {
        FileDeployer deployer = MakeInstaller();
        EXPECT_EQ(1, deployer.Install()) << deployer.LastFailedFile();
        EXPECT_EQ(400u, SizeOfFile(versionFolder + deepest));
    }
    versionFolder = m_scratch / L"w" + std::wstring(room - base.size() + 1, L'x');
    ASSERT_EQ(room + 1, versionFolder.size());
    FileDeployer deployer = MakeInstaller();
    EXPECT_EQ(0, deployer.Install());
    EXPECT_EQ(versionFolder + deepest, deployer.LastFailedFile());
    EXPECT_FALSE(FileOrFolderExists(versionFolder + L"\\Bin"));
    EXPECT_FALSE(FileOrFolderExists(versionFolder + L"\\WMSysPr9.prx"));
}

TEST_F(FileDeployerTest, FiveHundredFoldersInstallButOneMoreFails) {
    // The root counts as one folder: 499 subfolders fill the budget exactly.
    for (int i = 0; i < 499; ++i) CreateFolderPath(tree + L"\\d" + std::to_wstring(i));
    WriteTestFile(tree + L"\\d498\\last.bin", 9);
    {
        FileDeployer deployer = MakeInstaller();
        EXPECT_EQ(1, deployer.Install());
        EXPECT_EQ(9u, SizeOfFile(versionFolder + L"\\d498\\last.bin"));
    }
    versionFolder = m_scratch / L"App2\\1.14.301";
    CreateFolderPath(tree + L"\\d499");
    WriteTestFile(tree + L"\\d499\\beyond.bin", 9);
    FileDeployer deployer = MakeInstaller();
    EXPECT_EQ(0, deployer.Install());
    EXPECT_FALSE(deployer.LastFailedFile().empty());
}

TEST_F(FileDeployerTest, ANameTheCodePageCannotHoldFailsTheInstall) {
    StageProduct();
    // Kannada letters exist in no ANSI code page.
    std::wstring odd = tree + L"\\Bin\\\u0C85\u0C86.dll";
    WriteTestFile(odd, 12);
    ASSERT_TRUE(FileExists(odd));
    FileDeployer deployer = MakeInstaller();
    EXPECT_EQ(0, deployer.Install());
    EXPECT_EQ(odd, deployer.LastFailedFile());
}

TEST_F(FileDeployerTest, RemovePreviousDeletesTheOldFolder) {
    std::wstring old = m_scratch / L"App\\1.14.200";
    WriteTestFile(old + L"\\PeloraInstall.xml", 5);  // left by the earlier install
    WriteTestFile(old + L"\\Bin\\Pelora.exe", 20);
    WriteTestFile(old + L"\\Users\\123\\settings.dat", 20);
    CreateFolderPath(old + L"\\Skins\\Empty");
    FileDeployer deployer(m_scratch / L"staging", nullptr);
    deployer.SetOldInstallFolder(old);
    deployer.SetOldManifestPath(old + L"\\PeloraInstall.xml");
    EXPECT_EQ(1, deployer.RemovePrevious());
    EXPECT_EQ(40u, deployer.OldTotalBytes());
    EXPECT_EQ(40u, deployer.BytesRemoved());
    EXPECT_FALSE(FileOrFolderExists(old));
}

TEST_F(FileDeployerTest, RemovePreviousKeepsTheUsersFolderBelowVista) {
    OverrideOsVersionCode(0x501);
    std::wstring old = m_scratch / L"App\\1.14.200";
    WriteTestFile(old + L"\\PeloraInstall.xml", 5);  // left by the earlier install
    WriteTestFile(old + L"\\Bin\\Pelora.exe", 20);
    WriteTestFile(old + L"\\Users\\123\\settings.dat", 20);
    FileDeployer deployer(m_scratch / L"staging", nullptr);
    deployer.SetOldInstallFolder(old);
    deployer.SetOldManifestPath(old + L"\\PeloraInstall.xml");
    EXPECT_EQ(1, deployer.RemovePrevious());
    EXPECT_FALSE(FileExists(old + L"\\Bin\\Pelora.exe"));
    EXPECT_TRUE(FileExists(old + L"\\Users\\123\\settings.dat"));
}

TEST_F(FileDeployerTest, RemovePreviousWithoutAnOldFolderSucceeds) {
    FileDeployer deployer(m_scratch / L"staging", nullptr);
    deployer.SetOldInstallFolder(m_scratch / L"absent");
    deployer.SetOldManifestPath(m_scratch / L"absent\\PeloraInstall.xml");
    EXPECT_EQ(1, deployer.RemovePrevious());
}

TEST_F(FileDeployerTest, ConstructionTakesTheRegisteredInstallAsOldFolder) {
    DeleteRegistryTree(HKEY_CURRENT_USER, L"SOFTWARE\\Corvane\\Pelora");
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Corvane\\Pelora");
    SetString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Corvane\\Pelora", L"Install", L"D:\\Old\\1.14.200");
    FileDeployer deployer(m_scratch / L"staging", nullptr);
    EXPECT_EQ(L"D:\\Old\\1.14.200", deployer.OldInstallFolder());
    EXPECT_EQ(L"D:\\Old\\1.14.200\\PeloraInstall.xml", deployer.OldManifestPath());
    EXPECT_EQ(L"D:\\Old\\1.14.200", deployer.TargetRoot());
    EXPECT_EQ(tree, deployer.SourceRoot());
    EXPECT_EQ(tree + L"\\PeloraInstall.xml", deployer.ManifestPath());
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Corvane\\Pelora");
}

}  // namespace
