// Starting the installed client as the logged-on user, on each Windows version's way, with the
// stand-in launcher "PL.exe" that records how it was started in %APPDATA%\CorvaneTest\PL.log
// and stays running while %APPDATA%\CorvaneTest\PL.stay exists. Wine runs every program with
// the same elevated token and has no shell window, so these starts take the token of Wine's
// explorer.exe; which token is asked for is checked in launch_token_test.cpp.
#include <gtest/gtest.h>

#include <windows.h>

#include <shlobj.h>

#include <string>

#include "deploy/launch_as_user.h"
#include "deploy/launch_system.h"
#include "deploy/scheduled_task.h"
#include "deploy_test_support.h"
#include "diag/install_log.h"
#include "diag/windows_version.h"
#include "task_readback.h"

namespace {

std::wstring StandInFile(const wchar_t* extension) {
    wchar_t appData[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, appData);
    return std::wstring(appData) + L"\\CorvaneTest\\PL" + extension;
}
std::wstring EvidencePath() { return StandInFile(L".log"); }
// While it exists the stand-in stays running; it records "stay=ended" once it is gone.
std::wstring StayPath() { return StandInFile(L".stay"); }

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
        EndStay();
        OverrideOsVersionCode(0);
        deploy::SetLaunchSystemForTesting(nullptr);
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
    // Lets a staying stand-in end; true when it recorded its end within 10 s.
    bool EndStay() {
        if (GetFileAttributesW(StayPath().c_str()) == INVALID_FILE_ATTRIBUTES) return false;
        DeleteFileW(StayPath().c_str());
        for (int wait = 0; wait < 100; ++wait) {
            if (Contains(ReadTestFile(EvidencePath()), "stay=ended\r\n")) return true;
            Sleep(100);
        }
        return false;
    }

    ScratchFolder m_scratch;
    std::wstring m_logPath;
    const std::wstring m_launcher = StandInLauncher();
};

TEST_F(LaunchAsUserTest, UsersTokenOnWindows8GivesTheArgumentsAfterTheProgramAndWaitsForIt) {
    OverrideOsVersionCode(0xA00);
    EXPECT_TRUE(LaunchAsUser(L"/startsrc:install /room:5", m_launcher));
    // The launch waited for the program, so its record is complete already.
    const std::string record = ReadTestFile(EvidencePath());
    EXPECT_TRUE(Contains(record, "arg1=/startsrc:install\r\n")) << record << LogForMessage();
    EXPECT_TRUE(Contains(record, "arg2=/room:5\r\n")) << record;
    EXPECT_FALSE(Contains(record, "arg3=")) << record;
    EXPECT_NE(std::wstring::npos, LogText().find(L"\r\nCreateLowProcess" + m_launcher + L":/startsrc:install /room:5\r\n"));
    EXPECT_EQ(std::wstring::npos, LogText().find(L"still runs"));
}

TEST_F(LaunchAsUserTest, UsersTokenFailuresAreLoggedAndStartNothing) {
    OverrideOsVersionCode(0x603);
    const std::wstring missing = m_scratch / L"missing\\PL.exe";
    EXPECT_TRUE(LaunchAsUser(L"/startsrc:install", missing));
    EXPECT_NE(std::wstring::npos, LogText().find(L" of " + missing + L" failed: ")) << LogForMessage();

    // A command line beyond 520 characters would be cut: nothing is started instead.
    EXPECT_TRUE(LaunchAsUser(L"/startsrc:install " + std::wstring(520, L'x'), m_launcher));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(EvidencePath().c_str()));
    EXPECT_NE(std::wstring::npos, LogText().find(L"refused: its text is too long"));
}

// The real calls that find the logged-on user's token: the shell window's process, else
// explorer.exe in the own session, gives a primary token of the same user as the test's own.
TEST_F(LaunchAsUserTest, TheUsersTokenIsAPrimaryTokenOfTheSessionsUser) {
    deploy::WindowsLaunchSystem system;
    DWORD processId = system.ShellProcessId();
    if (processId == 0) processId = system.SessionExplorerProcessId();
    ASSERT_NE(0u, processId) << "neither a shell window nor explorer.exe in the session";
    const diag::ScopedHandle token = system.PrimaryTokenOf(processId);
    ASSERT_TRUE(token.IsValid()) << LogForMessage();

    TOKEN_TYPE type = TokenImpersonation;
    DWORD size = 0;
    ASSERT_TRUE(GetTokenInformation(token.Get(), TokenType, &type, sizeof(type), &size));
    EXPECT_EQ(TokenPrimary, type);
    diag::ScopedHandle own;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, own.Receive()));
    BYTE theirs[256] = {}, ours[256] = {};
    ASSERT_TRUE(GetTokenInformation(token.Get(), TokenUser, theirs, sizeof(theirs), &size));
    ASSERT_TRUE(GetTokenInformation(own.Get(), TokenUser, ours, sizeof(ours), &size));
    EXPECT_TRUE(EqualSid(reinterpret_cast<TOKEN_USER*>(theirs)->User.Sid,
                         reinterpret_cast<TOKEN_USER*>(ours)->User.Sid));

    // A process that does not exist gives none, and says so.
    EXPECT_FALSE(system.PrimaryTokenOf(0xFFFFFFF0).IsValid());
    EXPECT_NE(std::wstring::npos, LogText().find(L"[setup]token of process 4294967280: OpenProcess failed: "));
}

// The real starts with the setup's own token, where that is not elevated (Wine cannot make that
// token; the answer is replaced, the start is real).
class NotElevatedSystem final : public deploy::WindowsLaunchSystem {
public:
    bool IsOwnTokenElevated() override { return false; }
    diag::ScopedHandle StartProgram(HANDLE token, const std::wstring& exePath, const std::wstring& commandLine,
                                    const std::wstring& folder) override {
        ++starts;
        withToken = token != nullptr;
        return WindowsLaunchSystem::StartProgram(token, exePath, commandLine, folder);
    }
    int starts = 0;
    bool withToken = true;
};

TEST_F(LaunchAsUserTest, SetupThatIsNotElevatedStartsTheLauncherWithItsOwnToken) {
    OverrideOsVersionCode(0xA00);
    NotElevatedSystem system;
    deploy::SetLaunchSystemForTesting(&system);
    EXPECT_TRUE(LaunchAsUser(L"/startsrc:install", m_launcher));
    EXPECT_EQ(1, system.starts);
    EXPECT_FALSE(system.withToken);
    const std::string record = ReadTestFile(EvidencePath());
    EXPECT_TRUE(Contains(record, "arg1=/startsrc:install\r\n")) << record << LogForMessage();
}

// A launcher that never ends holds the launch for the bound only, is left running and is named.
TEST_F(LaunchAsUserTest, LauncherThatDoesNotEndIsLeftRunningAfterTheBound) {
    OverrideOsVersionCode(0xA00);
    WriteTestBytes(StayPath(), "");
    const DWORD start = GetTickCount();
    EXPECT_TRUE(LaunchAsUser(L"/startsrc:install", m_launcher));
    const DWORD elapsed = GetTickCount() - start;
    EXPECT_GE(elapsed, 10000u - 100u);
    EXPECT_LT(elapsed, 13000u);

    const std::string record = ReadTestFile(EvidencePath());
    EXPECT_TRUE(Contains(record, "arg1=/startsrc:install\r\n")) << record << LogForMessage();
    EXPECT_FALSE(Contains(record, "stay=ended")) << "the launcher was ended";
    const std::wstring stillRuns = L"[setup]" + m_launcher + L" still runs after 10000 ms; it is left running\r\n";
    EXPECT_NE(std::wstring::npos, LogText().find(stillRuns)) << LogForMessage();
    EXPECT_TRUE(EndStay()) << "the launcher was no longer running";
}

TEST_F(LaunchAsUserTest, ShellExecuteOnXpStartsTheProgramInItsFolder) {
    OverrideOsVersionCode(0x501);
    EXPECT_TRUE(LaunchAsUser(L"/startsrc:install", m_launcher));
    const std::string record = WaitForEvidence(10000);
    EXPECT_TRUE(Contains(record, "arg1=/startsrc:install\r\n")) << record;
    EXPECT_NE(std::wstring::npos, LogText().find(L"\r\nShellExecute" + m_launcher + L":/startsrc:install\r\n"));
}

// Wine's scheduler refuses the one-shot task (it implements neither the principal's logon type
// nor the registration trigger), and the launcher is started with the user's token instead; on a
// scheduler that takes it the task is deleted again. Either way the launch ends within its polls
// and the wait for the launcher, and leaves no task behind.
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
    EXPECT_LT(GetTickCount() - start, 22000u);

    const std::wstring log = LogText();
    EXPECT_NE(std::wstring::npos, log.find(L"\r\nRunAsUser" + m_launcher + L":/startsrc:install /room:5\r\n"));
    if (seen.name.empty()) {
        // Refused: the log says which call and with which result, and the user's token started
        // the launcher instead.
        EXPECT_NE(std::wstring::npos, log.find(L"[setup]task TaskAt")) << LogForMessage();
        EXPECT_NE(std::wstring::npos, log.find(L"[setup]the task did not start " + m_launcher)) << LogForMessage();
        EXPECT_TRUE(Contains(ReadTestFile(EvidencePath()), "arg2=/room:5\r\n")) << LogForMessage();
    } else {
        EXPECT_TRUE(seen.existed);
        std::wstring xml;
        EXPECT_FALSE(ReadRegisteredTaskXml(seen.name, xml)) << "the task stayed in the library";
    }
}

}  // namespace
