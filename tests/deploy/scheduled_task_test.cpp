// What the one-shot launch task asks of the Task Scheduler, seen through a scheduler that records
// every request (Wine's scheduler registers no task with a registration trigger, so the real one
// is exercised for its refusal only, in launch_as_user_test.cpp).
#include <gtest/gtest.h>

#include <windows.h>

#include <taskschd.h>

#include <memory>
#include <string>
#include <vector>

#include "deploy/scheduled_task.h"
#include "deploy/task_scheduler.h"
#include "deploy_test_support.h"
#include "diag/install_log.h"

namespace {

// What the recording scheduler answers and what it was asked.
struct SchedulerScript {
    HRESULT openResult = S_OK;
    HRESULT registerResult = S_OK;
    HRESULT finalDeleteResult = S_OK;
    int runningFromPoll = -1;  // the poll that first sees the task run; -1 never
    std::vector<std::wstring> calls;
    deploy::OneShotTask registered;
    int polls = 0;
    int deletes = 0;
};
SchedulerScript* g_script = nullptr;

class RecordingScheduler final : public deploy::TaskScheduler {
public:
    HRESULT Open() override {
        g_script->calls.push_back(L"Open");
        return g_script->openResult;
    }
    HRESULT DeleteTask(const std::wstring& name) override {
        g_script->calls.push_back(L"DeleteTask " + name);
        // The first deletion is the leftover's, which usually does not exist.
        return ++g_script->deletes == 1 ? HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) : g_script->finalDeleteResult;
    }
    HRESULT Register(const deploy::OneShotTask& task) override {
        g_script->calls.push_back(L"Register " + task.name);
        g_script->registered = task;
        return g_script->registerResult;
    }
    bool IsRunning() override {
        const int poll = g_script->polls++;
        return g_script->runningFromPoll >= 0 && poll >= g_script->runningFromPoll;
    }
};

std::unique_ptr<deploy::TaskScheduler> MakeRecordingScheduler() { return std::make_unique<RecordingScheduler>(); }

class ScheduledTaskTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_script = &m_script;
        deploy::SetTaskSchedulerForTesting(MakeRecordingScheduler);
        deploy::SetTaskPollingForTesting(500, 0);
        m_logPath = m_scratch / L"PeloraInstall.txt";
        InstallLog::Open(m_logPath);
    }
    void TearDown() override {
        deploy::SetTaskSchedulerForTesting(nullptr);
        deploy::SetTaskPollingForTesting(0, 0);
        InstallLog::Close();
        g_script = nullptr;
    }
    std::wstring LogText() { return ReadInstallLogText(m_logPath); }

    SchedulerScript m_script;
    ScratchFolder m_scratch;
    std::wstring m_logPath;
};

TEST_F(ScheduledTaskTest, RegistersTheProgramAsTheSessionUserToRunAtRegistration) {
    m_script.runningFromPoll = 3;
    EXPECT_EQ(0, RunThroughTask(L"/startsrc:install /room:5", L"C:\\Pelora\\PL.exe", L"TaskAt1234"));

    const deploy::OneShotTask& task = m_script.registered;
    EXPECT_EQ(L"TaskAt1234", task.name);
    EXPECT_EQ(L"Principal1", task.principalId);
    std::wstring sessionUser;
    ASSERT_TRUE(SessionUserName(sessionUser));
    EXPECT_EQ(sessionUser, task.userId);
    EXPECT_EQ(TASK_LOGON_INTERACTIVE_TOKEN, task.logonType);
    EXPECT_EQ(TASK_RUNLEVEL_LUA, task.runLevel);
    EXPECT_EQ(TASK_TRIGGER_REGISTRATION, task.triggerType);
    EXPECT_EQ(TASK_ACTION_EXEC, task.actionType);
    EXPECT_EQ(L"C:\\Pelora\\PL.exe", task.path);
    EXPECT_EQ(L"/startsrc:install /room:5", task.arguments);
    EXPECT_EQ(TASK_CREATE, task.creationFlags);
    EXPECT_EQ(L"", task.securityDescriptor);

    // A leftover of the name goes first; the task goes as soon as it runs.
    const std::vector<std::wstring> expected = {L"Open", L"DeleteTask TaskAt1234", L"Register TaskAt1234",
                                                L"DeleteTask TaskAt1234"};
    EXPECT_EQ(expected, m_script.calls);
    EXPECT_EQ(4, m_script.polls);
    EXPECT_EQ(std::wstring::npos, LogText().find(L"did not reach the running state"));
}

TEST_F(ScheduledTaskTest, TaskThatNeverRunsIsDeletedAfterFiveHundredPolls) {
    EXPECT_EQ(0, RunThroughTask(L"/startsrc:install", L"C:\\Pelora\\PL.exe", L"TaskAt7"));
    EXPECT_EQ(500, m_script.polls);
    EXPECT_EQ(L"DeleteTask TaskAt7", m_script.calls.back());
    EXPECT_NE(std::wstring::npos, LogText().find(L"[setup]task TaskAt7 did not reach the running state"));
}

TEST_F(ScheduledTaskTest, PollsAreTwentyMillisecondsApart) {
    deploy::SetTaskPollingForTesting(0, 0);  // the real 500 x 20 ms
    m_script.runningFromPoll = 10;
    const DWORD start = GetTickCount();
    EXPECT_EQ(0, RunThroughTask(L"/x", L"C:\\PL.exe", L"TaskAt8"));
    const DWORD elapsed = GetTickCount() - start;
    EXPECT_EQ(11, m_script.polls);
    EXPECT_GE(elapsed, 10u * 20u - 30u);
    EXPECT_LT(elapsed, 2000u);
}

TEST_F(ScheduledTaskTest, FailuresBeforeAndAtRegistrationLeaveNothingToDelete) {
    m_script.openResult = E_ACCESSDENIED;
    EXPECT_EQ(1, RunThroughTask(L"/x", L"C:\\PL.exe", L"TaskAt9"));
    EXPECT_EQ(std::vector<std::wstring>{L"Open"}, m_script.calls);

    SchedulerScript refused;
    refused.registerResult = E_NOTIMPL;
    g_script = &refused;
    EXPECT_EQ(1, RunThroughTask(L"/x", L"C:\\PL.exe", L"TaskAt10"));
    const std::vector<std::wstring> expected = {L"Open", L"DeleteTask TaskAt10", L"Register TaskAt10"};
    EXPECT_EQ(expected, refused.calls);
    EXPECT_EQ(0, refused.polls);
    g_script = &m_script;
}

TEST_F(ScheduledTaskTest, AFailedDeletionIsAFailureAndLogged) {
    m_script.runningFromPoll = 0;
    m_script.finalDeleteResult = E_ACCESSDENIED;
    EXPECT_EQ(1, RunThroughTask(L"/x", L"C:\\PL.exe", L"TaskAt11"));
    EXPECT_NE(std::wstring::npos, LogText().find(L"[setup]task TaskAt11: DeleteTask failed: 0x80070005"));
}

TEST_F(ScheduledTaskTest, RunAsUserNamesTheTaskAfterTheTickCount) {
    m_script.runningFromPoll = 0;
    const DWORD before = GetTickCount();
    RunAsUser(L"C:\\Pelora\\PL.exe", L"/startsrc:install");
    const DWORD after = GetTickCount();
    const std::wstring& name = m_script.registered.name;
    ASSERT_EQ(0u, name.find(L"TaskAt"));
    const long tick = wcstol(name.c_str() + 6, nullptr, 10);
    EXPECT_GE(static_cast<DWORD>(tick), before);
    EXPECT_LE(static_cast<DWORD>(tick), after);
    EXPECT_EQ(L"C:\\Pelora\\PL.exe", m_script.registered.path);
}

TEST_F(ScheduledTaskTest, RunAsUserRefusesTextsThatDoNotFitItsBuffers) {
    RunAsUser(L"C:\\" + std::wstring(1021, L'p') + L".exe", L"/startsrc:install");
    RunAsUser(L"C:\\PL.exe", std::wstring(1024, L'a'));
    EXPECT_TRUE(m_script.calls.empty()) << "a text that does not fit was registered";
    EXPECT_NE(std::wstring::npos, LogText().find(L"refused: its text is too long"));
    // One character less fits.
    RunAsUser(L"C:\\PL.exe", std::wstring(1023, L'a'));
    EXPECT_EQ(1023u, m_script.registered.arguments.size());
}

TEST(SessionUserNameTest, NamesTheLoggedOnUserWithItsDomain) {
    wchar_t user[256] = {};
    DWORD size = 256;
    ASSERT_TRUE(GetUserNameW(user, &size));
    std::wstring sessionUser;
    ASSERT_TRUE(SessionUserName(sessionUser));
    const std::wstring suffix = std::wstring(L"\\") + user;
    ASSERT_GE(sessionUser.size(), suffix.size());
    EXPECT_EQ(suffix, sessionUser.substr(sessionUser.size() - suffix.size()));
}

}  // namespace
