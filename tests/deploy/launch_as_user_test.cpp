// Starting the installed client as the logged-on user, on each Windows version's way, with the
// stand-in launcher "PL.exe" that records how it was started in %APPDATA%\CorvaneTest\PL.log.
#include <gtest/gtest.h>

#include <windows.h>

#include <shlobj.h>

#include <string>

#include "deploy/launch_as_user.h"
#include "deploy/scheduled_task.h"
#include "deploy_test_support.h"
#include "diag/install_log.h"
#include "diag/windows_version.h"
#include "task_readback.h"

namespace {

std::wstring EvidencePath() {
    wchar_t appData[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, appData);
    return std::wstring(appData) + L"\\CorvaneTest\\PL.log";
}

// The stand-in's record, waiting up to `milliseconds` for a launch that returns before the
// program ran (ShellExecute).
std::string WaitForEvidence(DWORD milliseconds) {
    const std::wstring path = EvidencePath();
    for (DWORD waited = 0;; waited += 50) {
        if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
            Sleep(200);  // the stand-in writes a few lines
            return ReadTestFile(path);
        }
        if (waited >= milliseconds) return std::string();
        Sleep(50);
    }
}

// The stand-in launcher in the build tree, as a Windows path.
std::wstring StandInLauncher() {
    std::wstring path = PELORA_TEST_LAUNCHER;
    for (wchar_t& c : path) {
        if (c == L'/') c = L'\\';
    }
    return path;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class LaunchAsUserTest : public ::testing::Test {
protected:
    void SetUp() override {
        DeleteFileW(EvidencePath().c_str());
        m_logPath = m_scratch / L"PeloraInstall.txt";
        InstallLog::Open(m_logPath);
    }
    void TearDown() override {
        OverrideOsVersionCode(0);
        deploy::SetTaskRegisteredForTesting(nullptr, nullptr);
        deploy::SetTaskPollingForTesting(0, 0);
        InstallLog::Close();
        DeleteFileW(EvidencePath().c_str());
    }
    // The log as narrow text for failure messages.
    std::string LogForMessage() {
        std::string out;
        for (wchar_t c : LogText()) out += c < 128 ? static_cast<char>(c) : '?';
        return out;
    }
    std::wstring LogText() { return ReadInstallLogText(m_logPath); }

    ScratchFolder m_scratch;
    std::wstring m_logPath;
    const std::wstring m_launcher = StandInLauncher();
};

TEST_F(LaunchAsUserTest, OwnTokenOnWindows8GivesTheArgumentsAfterTheProgramAndWaitsForIt) {
    OverrideOsVersionCode(0xA00);
    EXPECT_TRUE(LaunchAsUser(L"/startsrc:install /room:5", m_launcher));
    // The launch waited for the program, so its record is complete already.
    const std::string record = ReadTestFile(EvidencePath());
    EXPECT_TRUE(Contains(record, "arg1=/startsrc:install\r\n")) << record;
    EXPECT_TRUE(Contains(record, "arg2=/room:5\r\n")) << record;
    EXPECT_FALSE(Contains(record, "arg3=")) << record;
    EXPECT_NE(std::wstring::npos, LogText().find(L"\r\nCreateLowProcess" + m_launcher + L":/startsrc:install /room:5\r\n"));
}

TEST_F(LaunchAsUserTest, OwnTokenFailuresAreLoggedAndStartNothing) {
    OverrideOsVersionCode(0x603);
    EXPECT_TRUE(LaunchAsUser(L"/startsrc:install", m_scratch / L"missing\\PL.exe"));
    EXPECT_NE(std::wstring::npos, LogText().find(L"CreateProcessAsUser failed. Last Error is:"));

    // A command line beyond 520 characters would be cut: nothing is started instead.
    EXPECT_TRUE(LaunchAsUser(L"/startsrc:install " + std::wstring(520, L'x'), m_launcher));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(EvidencePath().c_str()));
    EXPECT_NE(std::wstring::npos, LogText().find(L"refused: its text is too long"));
}

TEST_F(LaunchAsUserTest, ShellExecuteOnXpStartsTheProgramInItsFolder) {
    OverrideOsVersionCode(0x501);
    EXPECT_TRUE(LaunchAsUser(L"/startsrc:install", m_launcher));
    const std::string record = WaitForEvidence(10000);
    EXPECT_TRUE(Contains(record, "arg1=/startsrc:install\r\n")) << record;
    EXPECT_NE(std::wstring::npos, LogText().find(L"\r\nShellExecute" + m_launcher + L":/startsrc:install\r\n"));
}

// Wine's scheduler refuses the one-shot task (it implements neither the principal's logon type
// nor the registration trigger); on a scheduler that takes it the task is deleted again. Either
// way the launch ends within its polls and leaves no task behind.
struct TaskSeen {
    std::wstring name;
    bool existed = false;
};

void RememberTask(const std::wstring& taskName, void* context) {
    auto* seen = static_cast<TaskSeen*>(context);
    seen->name = taskName;
    std::wstring xml;
    seen->existed = ReadRegisteredTaskXml(taskName, xml);
}

TEST_F(LaunchAsUserTest, TaskOnWindows7LeavesNoTaskInTheLibrary) {
    OverrideOsVersionCode(0x601);
    TaskSeen seen;
    deploy::SetTaskRegisteredForTesting(RememberTask, &seen);
    const DWORD start = GetTickCount();
    EXPECT_TRUE(LaunchAsUser(L"/startsrc:install /room:5", m_launcher));
    EXPECT_LT(GetTickCount() - start, 12000u);

    const std::wstring log = LogText();
    EXPECT_NE(std::wstring::npos, log.find(L"\r\nRunAsUser" + m_launcher + L":/startsrc:install /room:5\r\n"));
    if (seen.name.empty()) {
        // Refused: the log says which call and with which result.
        EXPECT_NE(std::wstring::npos, log.find(L"[setup]task TaskAt")) << LogForMessage();
    } else {
        EXPECT_TRUE(seen.existed);
        std::wstring xml;
        EXPECT_FALSE(ReadRegisteredTaskXml(seen.name, xml)) << "the task stayed in the library";
    }
}

}  // namespace
