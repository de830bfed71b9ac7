// Which token the launch asks for and which way it starts the client, seen through a launch
// system that answers as scripted and starts nothing: no program with raised rights is started.
// The real calls are exercised in launch_as_user_test.cpp.
#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "deploy/launch_as_user.h"
#include "deploy/launch_system.h"
#include "deploy/scheduled_task.h"
#include "deploy/task_scheduler.h"
#include "deploy_test_support.h"
#include "diag/install_log.h"
#include "diag/windows_version.h"

namespace {

constexpr DWORD kShellId = 1234;
constexpr DWORD kExplorerId = 88;
constexpr DWORD kOwnToken = 0;  // startedWithTokenOf when the launch passed no token
constexpr DWORD kNotStarted = 0xFFFFFFFF;
constexpr DWORD kOtherToken = 0xFFFFFFFE;  // a token this system did not hand out

const std::wstring kLauncher = L"C:\\Users\\u\\AppData\\Roaming\\Corvane\\Pelora\\App\\PL.exe";

// Tokens and processes are events: real handles the launch may close, told apart while open.
diag::ScopedHandle NewEvent() { return diag::ScopedHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr)); }

class ScriptedLaunchSystem final : public deploy::LaunchSystem {
public:
    // The answers.
    bool elevated = true;
    DWORD shellProcessId = kShellId;
    DWORD explorerProcessId = kExplorerId;
    std::vector<DWORD> withoutToken;  // processes whose token cannot be had
    bool startFails = false;
    bool programEnds = true;

    // What was asked.
    int shellQueries = 0;
    std::vector<DWORD> tokensAsked;
    DWORD startedWithTokenOf = kNotStarted;
    std::wstring exePath, commandLine, folder;
    DWORD waitedMs = 0;

    bool IsOwnTokenElevated() override { return elevated; }
    DWORD ShellProcessId() override {
        ++shellQueries;
        return shellProcessId;
    }
    DWORD SessionExplorerProcessId() override { return explorerProcessId; }
    diag::ScopedHandle PrimaryTokenOf(DWORD processId) override {
        tokensAsked.push_back(processId);
        for (DWORD refused : withoutToken) {
            if (refused == processId) return diag::ScopedHandle();
        }
        diag::ScopedHandle token = NewEvent();
        m_tokens[token.Get()] = processId;
        return token;
    }
    diag::ScopedHandle StartProgram(HANDLE token, const std::wstring& exe, const std::wstring& line,
                                    const std::wstring& workFolder) override {
        startedWithTokenOf = token ? TokenOwner(token) : kOwnToken;
        exePath = exe;
        commandLine = line;
        folder = workFolder;
        return startFails ? diag::ScopedHandle() : NewEvent();
    }
    bool WaitForEnd(HANDLE, DWORD milliseconds) override {
        waitedMs = milliseconds;
        return programEnds;
    }

private:
    // The process a token handed out came from; every token is still open while it is used.
    DWORD TokenOwner(HANDLE token) const {
        const auto found = m_tokens.find(token);
        return found == m_tokens.end() ? kOtherToken : found->second;
    }
    std::map<HANDLE, DWORD> m_tokens;
};

// The scheduler of Vista and 7, scripted: refuses at Open, registers a task that never runs, or
// one that runs at once.
enum class TaskAnswer { kRefused, kNeverRuns, kRuns };
TaskAnswer g_taskAnswer = TaskAnswer::kRefused;

class ScriptedScheduler final : public deploy::TaskScheduler {
public:
    HRESULT Open() override { return g_taskAnswer == TaskAnswer::kRefused ? E_ACCESSDENIED : S_OK; }
    HRESULT DeleteTask(const std::wstring&) override { return S_OK; }
    HRESULT Register(const deploy::OneShotTask&) override { return S_OK; }
    bool IsRunning() override { return g_taskAnswer == TaskAnswer::kRuns; }
};
std::unique_ptr<deploy::TaskScheduler> MakeScriptedScheduler() { return std::make_unique<ScriptedScheduler>(); }

class LaunchTokenTest : public ::testing::Test {
protected:
    void SetUp() override {
        OverrideOsVersionCode(0xA00);
        deploy::SetLaunchSystemForTesting(&m_system);
        m_logPath = m_scratch / L"PeloraInstall.txt";
        InstallLog::Open(m_logPath);
    }
    void TearDown() override {
        OverrideOsVersionCode(0);
        deploy::SetLaunchSystemForTesting(nullptr);
        deploy::SetTaskSchedulerForTesting(nullptr);
        deploy::SetTaskPollingForTesting(0, 0);
        InstallLog::Close();
    }
    bool Logged(const std::wstring& text) { return ReadInstallLogText(m_logPath).find(text) != std::wstring::npos; }

    ScriptedLaunchSystem m_system;
    ScratchFolder m_scratch;
    std::wstring m_logPath;
};

TEST_F(LaunchTokenTest, ElevatedSetupStartsTheClientWithTheShellsTokenNeverItsOwn) {
    for (uint32_t version : {0x602u, 0x603u, 0xA00u}) {
        OverrideOsVersionCode(version);
        m_system = ScriptedLaunchSystem();
        EXPECT_TRUE(LaunchAsUser(L"/startsrc:install /room:5", kLauncher));
        EXPECT_EQ(kShellId, m_system.startedWithTokenOf) << std::hex << version;
        EXPECT_EQ(std::vector<DWORD>{kShellId}, m_system.tokensAsked);
        EXPECT_EQ(kLauncher, m_system.exePath);
        EXPECT_EQ(L"\"" + kLauncher + L"\" /startsrc:install /room:5", m_system.commandLine);
        EXPECT_EQ(L"C:\\Users\\u\\AppData\\Roaming\\Corvane\\Pelora\\App\\", m_system.folder);
    }
    EXPECT_TRUE(Logged(L"\r\nCreateLowProcess" + kLauncher + L":/startsrc:install /room:5\r\n"));
    EXPECT_FALSE(Logged(L"no shell window"));
}

TEST_F(LaunchTokenTest, WithoutTheShellsTokenExplorerInTheSetupsSessionGivesIt) {
    m_system.shellProcessId = 0;
    LaunchAsUser(L"/startsrc:install", kLauncher);
    EXPECT_EQ(kExplorerId, m_system.startedWithTokenOf);
    EXPECT_EQ(std::vector<DWORD>{kExplorerId}, m_system.tokensAsked);
    EXPECT_TRUE(Logged(L"[setup]no shell window: the user's token is taken from explorer.exe\r\n"));

    // A shell window whose process gives no token.
    m_system = ScriptedLaunchSystem();
    m_system.withoutToken = {kShellId};
    LaunchAsUser(L"/startsrc:install", kLauncher);
    EXPECT_EQ(kExplorerId, m_system.startedWithTokenOf);
    EXPECT_EQ((std::vector<DWORD>{kShellId, kExplorerId}), m_system.tokensAsked);
}

TEST_F(LaunchTokenTest, ElevatedSetupWithoutAUsersTokenStartsNothing) {
    const std::wstring refusal = L"[setup]" + kLauncher + L" not started: no token of the logged-on user";
    m_system.shellProcessId = 0;
    m_system.explorerProcessId = 0;
    LaunchAsUser(L"/startsrc:install", kLauncher);
    EXPECT_EQ(kNotStarted, m_system.startedWithTokenOf);
    EXPECT_TRUE(Logged(refusal));

    m_system = ScriptedLaunchSystem();
    m_system.withoutToken = {kShellId, kExplorerId};
    LaunchAsUser(L"/startsrc:install", kLauncher);
    EXPECT_EQ(kNotStarted, m_system.startedWithTokenOf) << "started with the setup's own raised token";
    // The way is named whatever the outcome.
    EXPECT_TRUE(Logged(L"\r\nCreateLowProcess" + kLauncher + L":/startsrc:install\r\n"));
}

TEST_F(LaunchTokenTest, SetupThatIsNotElevatedStartsWithItsOwnToken) {
    m_system.elevated = false;
    LaunchAsUser(L"/startsrc:install", kLauncher);
    EXPECT_EQ(kOwnToken, m_system.startedWithTokenOf);
    EXPECT_TRUE(m_system.tokensAsked.empty());
    EXPECT_EQ(0, m_system.shellQueries);
}

TEST_F(LaunchTokenTest, TheWaitIsBoundedAndAProgramStillRunningIsLogged) {
    LaunchAsUser(L"/startsrc:install", kLauncher);
    EXPECT_EQ(10000u, m_system.waitedMs);
    EXPECT_FALSE(Logged(L"still runs"));

    m_system.programEnds = false;
    LaunchAsUser(L"/startsrc:install", kLauncher);
    EXPECT_TRUE(Logged(L"[setup]" + kLauncher + L" still runs after 10000 ms; it is left running\r\n"));

    // A start that failed is not waited for.
    m_system = ScriptedLaunchSystem();
    m_system.startFails = true;
    LaunchAsUser(L"/startsrc:install", kLauncher);
    EXPECT_EQ(0u, m_system.waitedMs);
}

TEST_F(LaunchTokenTest, TaskTheSchedulerWouldNotRunFallsBackToTheUsersToken) {
    deploy::SetTaskSchedulerForTesting(MakeScriptedScheduler);
    deploy::SetTaskPollingForTesting(3, 0);
    const std::wstring fallback =
        L"[setup]the task did not start " + kLauncher + L": it is started with the user's token";
    for (uint32_t version : {0x600u, 0x601u}) {
        for (TaskAnswer answer : {TaskAnswer::kRefused, TaskAnswer::kNeverRuns}) {
            OverrideOsVersionCode(version);
            g_taskAnswer = answer;
            m_system = ScriptedLaunchSystem();
            LaunchAsUser(L"/startsrc:install", kLauncher);
            EXPECT_EQ(kShellId, m_system.startedWithTokenOf) << std::hex << version << " " << static_cast<int>(answer);
            EXPECT_EQ(L"\"" + kLauncher + L"\" /startsrc:install", m_system.commandLine);
        }
    }
    EXPECT_TRUE(Logged(fallback));
    EXPECT_TRUE(Logged(L"\r\nRunAsUser" + kLauncher + L":/startsrc:install\r\n"));
}

TEST_F(LaunchTokenTest, TaskSeenRunningStartsTheClientOnlyOnce) {
    OverrideOsVersionCode(0x601);
    deploy::SetTaskSchedulerForTesting(MakeScriptedScheduler);
    g_taskAnswer = TaskAnswer::kRuns;
    LaunchAsUser(L"/startsrc:install", kLauncher);
    EXPECT_EQ(kNotStarted, m_system.startedWithTokenOf);
    EXPECT_FALSE(Logged(L"the task did not start"));
    EXPECT_TRUE(Logged(L"\r\nRunAsUser" + kLauncher + L":/startsrc:install\r\n"));
}

}  // namespace
