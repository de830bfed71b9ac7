#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "deploy/file_deployer.h"
#include "deploy/file_system.h"
#include "deploy/install_footprint.h"
#include "deploy/retry_pause.h"
#include "deploy_test_support.h"
#include "diag/install_log.h"

namespace {

void NoPause(unsigned long) {}

// A deployment into {scratch}\App\1.14.301 that fails at a staged file held open by "another
// program" (no sharing at all, so it cannot even be read), after some files have been copied.
class InstallFootprintTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_previousPause = SetRetryPauseFunction(NoPause);
        m_logPath = m_scratch / L"PeloraInstall.txt";
        InstallLog::Open(m_logPath);
        tree = m_scratch / L"staging\\program files\\Corvane\\Pelora";
        productRoot = m_scratch / L"App";
        versionFolder = productRoot + L"\\1.14.301";
        WriteTestFile(tree + L"\\Bin\\Pelora.exe", 200, 'n');
        WriteTestFile(tree + L"\\Bin\\VTService.dll", 300, 'n');
        WriteTestFile(tree + L"\\Misc\\CVSSO\\CVSSO\\sso.dat", 400, 'n');
        WriteTestFile(tree + L"\\WMSysPr9.prx", 100, 'n');
    }
    void TearDown() override {
        if (m_held != INVALID_HANDLE_VALUE) CloseHandle(m_held);
        InstallLog::Close();
        SetRetryPauseFunction(m_previousPause);
    }

    void HoldStagedFile(const std::wstring& relative) {
        m_held = CreateFileW((tree + L"\\" + relative).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, m_held);
    }

    int Deploy() {
        FileDeployer deployer(m_scratch / L"staging", nullptr);
        deployer.SetTargetRoot(versionFolder);
        deployer.SetManifestPath(versionFolder + L"\\PeloraInstall.xml");
        deployer.SetFootprint(&footprint);
        const int result = deployer.Install();
        failedFile = deployer.LastFailedFile();
        return result;
    }

    std::wstring LogText() { return ReadInstallLogText(m_logPath); }

    ScratchFolder m_scratch;
    InstallFootprint footprint;
    std::wstring tree;
    std::wstring productRoot;
    std::wstring versionFolder;
    std::wstring failedFile;

private:
    std::wstring m_logPath;
    HANDLE m_held = INVALID_HANDLE_VALUE;
    RetryPauseFunction m_previousPause = nullptr;
};

TEST_F(InstallFootprintTest, AFailedDeploymentIntoNewFoldersLeavesNothing) {
    HoldStagedFile(L"WMSysPr9.prx");
    ASSERT_EQ(0, Deploy());
    EXPECT_EQ(versionFolder + L"\\WMSysPr9.prx", failedFile);
    // The files before the held one were written: there is something to take back.
    ASSERT_EQ(200u, SizeOfFile(versionFolder + L"\\Bin\\Pelora.exe"));
    ASSERT_TRUE(FileExists(versionFolder + L"\\PeloraInstall.xml"));

    EXPECT_EQ(0, footprint.RemoveAll());
    EXPECT_FALSE(FileOrFolderExists(productRoot)) << "the product root was made by the run";
    EXPECT_TRUE(FolderExists(m_scratch.Path()));
    // The manifest, three files; App, the version folder, Bin, Misc and two CVSSO folders.
    const std::wstring text = LogText();
    EXPECT_NE(std::wstring::npos, text.find(L"removed what this run wrote: 4 files, 6 folders, 0 entries left"))
        << testing::PrintToString(text.substr(text.size() > 400 ? text.size() - 400 : 0));
}

TEST_F(InstallFootprintTest, WhatWasThereBeforeAndWhatOthersAddedStays) {
    WriteTestFile(productRoot + L"\\notes.txt", 7, 'u');
    HoldStagedFile(L"WMSysPr9.prx");
    ASSERT_EQ(0, Deploy());
    // Somebody puts a file into a folder that the run made.
    WriteTestFile(versionFolder + L"\\Bin\\plugin.cfg", 3, 'u');

    EXPECT_EQ(2, footprint.RemoveAll()) << "Bin and the version folder hold the other file";
    EXPECT_EQ(7u, SizeOfFile(productRoot + L"\\notes.txt"));
    EXPECT_EQ(3u, SizeOfFile(versionFolder + L"\\Bin\\plugin.cfg"));
    EXPECT_FALSE(FileOrFolderExists(versionFolder + L"\\Bin\\Pelora.exe"));
    EXPECT_FALSE(FileOrFolderExists(versionFolder + L"\\PeloraInstall.xml"));
    EXPECT_FALSE(FileOrFolderExists(versionFolder + L"\\Misc"));
    EXPECT_NE(std::wstring::npos, LogText().find(L"folder kept, it holds what this run did not write: " + versionFolder + L"\\Bin"));
}

TEST_F(InstallFootprintTest, AnOlderFileThatCouldNotBeReplacedIsNotDeleted) {
    // An older launcher held without any sharing: it can be neither overwritten nor renamed.
    const std::wstring launcher = productRoot + L"\\PL.exe";
    WriteTestFile(launcher, 9, 'o');
    const std::string older = ReadTestFile(launcher);
    HANDLE held = CreateFileW(launcher.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    const bool copied = footprint.CopyFileOver(tree + L"\\Bin\\Pelora.exe", launcher);
    const bool written = footprint.CopyFileOver(tree + L"\\Bin\\VTService.dll", productRoot + L"\\VTService.dll");
    CloseHandle(held);
    ASSERT_FALSE(copied);
    ASSERT_TRUE(written);

    EXPECT_EQ(0, footprint.RemoveAll());
    EXPECT_EQ(older, ReadTestFile(launcher));
    EXPECT_FALSE(FileOrFolderExists(productRoot + L"\\VTService.dll"));
    EXPECT_TRUE(FolderExists(productRoot));
}

TEST_F(InstallFootprintTest, ASuccessfulDeploymentIsTakenBackWhole) {
    // The public files fail after the version folder was deployed: all of it goes.
    ASSERT_EQ(1, Deploy());
    ASSERT_TRUE(footprint.CopyFileOver(tree + L"\\Bin\\Pelora.exe", productRoot + L"\\PL.exe"));
    EXPECT_EQ(0, footprint.RemoveAll());
    EXPECT_FALSE(FileOrFolderExists(productRoot));
    EXPECT_TRUE(footprint.Empty());
}

// The uninstaller takes back the folders the run made above the version folder, however the
// version folder is spelt, and none beside it.
TEST_F(InstallFootprintTest, TheFoldersMadeAboveTheVersionFolderAreFoundByWhatTheyAre) {
    ASSERT_TRUE(footprint.CreateFolders(versionFolder + L"\\Bin"));
    ASSERT_TRUE(footprint.CreateFolders(m_scratch / L"Other\\Deeper"));
    wchar_t shortVersion[MAX_PATH] = {};
    ASSERT_NE(0u, GetShortPathNameW(versionFolder.c_str(), shortVersion, MAX_PATH));
    ASSERT_NE(versionFolder, std::wstring(shortVersion)) << "\"1.14.301\" has no 8.3 form of its own";
    EXPECT_EQ(std::vector<std::wstring>{productRoot}, footprint.MadeFoldersAbove(shortVersion));
    EXPECT_EQ(std::vector<std::wstring>{productRoot}, footprint.MadeFoldersAbove(versionFolder + L"\\"));
    EXPECT_EQ(std::vector<std::wstring>(), footprint.MadeFoldersAbove(productRoot));

    // Folders that are gone since are told by their names.
    const std::wstring gone = m_scratch / L"Gone";
    ASSERT_TRUE(footprint.CreateFolders(gone + L"\\1.14.301"));
    ASSERT_TRUE(RemoveDirectoryW((gone + L"\\1.14.301").c_str()));
    ASSERT_TRUE(RemoveDirectoryW(gone.c_str()));
    EXPECT_EQ(std::vector<std::wstring>{gone}, footprint.MadeFoldersAbove(gone + L"\\1.14.301"));
}

// The window's thread notes the folders its folder check made while the engine's worker takes back
// a failed extraction: each folder is taken back by the removal that runs or by the next one,
// none is forgotten on the way.
TEST_F(InstallFootprintTest, FoldersNotedWhileAnotherThreadTakesBackAreNeverLost) {
    constexpr int kChecks = 200;
    const std::wstring checked = m_scratch / L"Checked";
    ASSERT_TRUE(CreateFolderPath(checked));
    std::atomic<bool> checking{true};
    std::thread window([&] {
        for (int i = 0; i < kChecks; ++i) footprint.CreateFolders(checked + L"\\Apps" + std::to_wstring(i) + L"\\1.14.301");
        checking = false;
    });
    int removals = 0;
    while (checking) {
        footprint.RemoveAll();
        ++removals;
    }
    window.join();
    footprint.RemoveAll();

    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((checked + L"\\*").c_str(), &found);
    std::vector<std::wstring> left;
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name != L"." && name != L"..") left.push_back(name);
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    EXPECT_EQ(std::vector<std::wstring>(), left) << "after " << removals << " removals during the checks";
    EXPECT_TRUE(footprint.Empty());
}

}  // namespace
