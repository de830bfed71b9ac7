#include <gtest/gtest.h>

#include "deploy/file_deployer.h"
#include "deploy/file_system.h"
#include "deploy/install_folder_check.h"
#include "deploy/retry_pause.h"
#include "deploy/shell_registration.h"
#include "deploy_test_support.h"
#include "diag/install_log.h"

namespace {

void NoPause(unsigned long) {}

// Runs the steps with the install log open in a scratch file and keeps its text.
class InstallLogLinesTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_logPath = m_scratch / L"PeloraInstall.txt";
        InstallLog::Open(m_logPath);
        m_previousPause = SetRetryPauseFunction(NoPause);
    }
    void TearDown() override {
        SetRetryPauseFunction(m_previousPause);
        InstallLog::Close();
        RegDeleteTreeW(HKEY_CLASSES_ROOT, L"Pelora");
    }
    std::wstring LogText() { return ReadInstallLogText(m_logPath); }
    void ExpectLine(const std::wstring& text, const std::wstring& line) {
        EXPECT_NE(std::wstring::npos, text.find(line)) << "missing log text";
    }

    ScratchFolder m_scratch;
    std::wstring m_logPath;
    RetryPauseFunction m_previousPause = nullptr;
};

TEST_F(InstallLogLinesTest, FolderCheckLogsDriveSpaceAndAccess) {
    ASSERT_EQ(kInstallFolderOk, CheckInstallFolder(m_scratch / L"Pelora", kRequiredInstallSpace));
    std::wstring text = LogText();
    ExpectLine(text, L"[setup]drive = C:\\ \n");
    ExpectLine(text, L"[setup]tempDrive = C:\\ \n");
    ExpectLine(text, L"type  = 3 \r\n");
    ExpectLine(text, L"可用空间");
    ExpectLine(text, L"[setup]bHaveWrite = 1 \n");
}

TEST_F(InstallLogLinesTest, AFailedFileLeavesItsWholeStory) {
    std::wstring tree = m_scratch / L"staging\\program files\\Corvane\\Pelora";
    std::wstring versionFolder = m_scratch / L"App\\1.14.301";
    WriteTestFile(tree + L"\\Bin\\Pelora.exe", 20);
    std::wstring target = versionFolder + L"\\Bin\\Pelora.exe";
    WriteTestFile(target, 5);
    HANDLE held = CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    FileDeployer deployer(m_scratch / L"staging", nullptr);
    deployer.SetTargetRoot(versionFolder);
    deployer.SetManifestPath(versionFolder + L"\\PeloraInstall.xml");
    EXPECT_EQ(0, deployer.Install());
    CloseHandle(held);
    std::wstring text = LogText();
    ExpectLine(text, L"[setup]安装文件失败：" + tree + L"\\Bin\\Pelora.exe \n");
    ExpectLine(text, L"[setup]安装文件失败原文件存在 \n");
    ExpectLine(text, L"[setup]安装文件失败目标文件：" + target + L" \n");
    ExpectLine(text, L"[setup]安装文件失败目标文件存在 \n");
    ExpectLine(text, L"[setup]多次尝试copy文件，结果失败 \n");
    ExpectLine(text, L"[setup]安装文件夹失败：" + tree + L"\\Bin \n");
    EXPECT_EQ(std::wstring::npos, text.find(L"[setup]安装结果")) << "no result line on failure";
}

TEST_F(InstallLogLinesTest, ASuccessfulInstallLogsItsResult) {
    std::wstring tree = m_scratch / L"staging\\program files\\Corvane\\Pelora";
    WriteTestFile(tree + L"\\Bin\\Pelora.exe", 20);
    FileDeployer deployer(m_scratch / L"staging", nullptr);
    deployer.SetTargetRoot(m_scratch / L"App\\1.14.301");
    deployer.SetManifestPath(m_scratch / L"App\\1.14.301\\PeloraInstall.xml");
    EXPECT_EQ(1, deployer.Install());
    ExpectLine(LogText(), L"[setup]安装结果1 \n");
}

TEST_F(InstallLogLinesTest, ProtocolRegistrationLogsItsTimes) {
    ASSERT_TRUE(WriteProtocolInfo(L"C:\\App\\PL.exe"));
    EXPECT_FALSE(WriteProtocolInfo(L""));
    std::wstring text = LogText();
    for (const wchar_t* stage : {L"1", L"2", L"3", L"4"})
        ExpectLine(text, std::wstring(L"[setup]WriteProtocalInfo ") + stage + L" time ");
    ExpectLine(text, L"[setup]WriteProtocalInfo is empty\n");
}

}  // namespace
