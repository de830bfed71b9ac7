// The engine's worker thread ends before what it reports to goes: the end of the window stops it
// (a running extraction at its next poll), a worker that will not stop is cut off from its client,
// an aborted extraction reports nothing more, and a worker that cannot be started says so at once.
#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <vector>

#include "app/install_client.h"
#include "app/install_errors.h"
#include "app/install_manager.h"
#include "diag/win_handle.h"
#include "recording_steps.h"

namespace {

const ResourceRef kHelper{L"MSI", 2031};
const ResourceRef kPayload{L"MSI", 2019};

// Counts what reaches it, from whatever thread.
class CountingClient : public IInstallClient {
public:
    void OnError(InstallError* error) override {
        std::lock_guard<std::mutex> lock(m_lock);
        delete error;
        ++m_nErrors;
    }
    void OnProgress(float) override {
        std::lock_guard<std::mutex> lock(m_lock);
        ++m_nProgress;
    }
    void OnStep(int step) override {
        std::lock_guard<std::mutex> lock(m_lock);
        m_steps.push_back(step);
    }
    // Errors, progress reports and steps so far, as one comparable value.
    std::vector<int> Seen() {
        std::lock_guard<std::mutex> lock(m_lock);
        std::vector<int> seen = {m_nErrors, m_nProgress};
        seen.insert(seen.end(), m_steps.begin(), m_steps.end());
        return seen;
    }
    std::vector<int> Steps() {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_steps;
    }
    int Errors() {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_nErrors;
    }

private:
    std::mutex m_lock;
    int m_nErrors = 0;
    int m_nProgress = 0;
    std::vector<int> m_steps;
};

HANDLE NoReadyEvent() {
    SetLastError(ERROR_NO_SYSTEM_RESOURCES);
    return nullptr;
}

class EngineShutdown : public testing::Test {
protected:
    void SetUp() override {
        engine = std::make_unique<InstallManager>(nullptr, &client, steps);
        ASSERT_EQ(0, engine->Init(kHelper, kPayload, CommandLineOptions()));
    }
    void TearDown() override {
        SetEvent(released.Get());
        if (engine) engine->Join(10000);
        WinMsgThread::SetReadyEventFactoryForTesting(nullptr);
    }
    // The extraction signals `extracting` and then polls for the cancellation as the real one does.
    void ExtractUntilCancelled() {
        steps.duringExtract = [this](IExtractProgressCallback* callback) {
            SetEvent(extracting.Get());
            while (!callback->IsCancelled()) ::Sleep(1);
        };
    }
    bool WaitFor(const diag::ScopedHandle& event) { return WaitForSingleObject(event.Get(), 5000) == WAIT_OBJECT_0; }

    RecordingSteps steps;
    CountingClient client;
    std::unique_ptr<InstallManager> engine;
    diag::ScopedHandle extracting{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    diag::ScopedHandle released{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

TEST_F(EngineShutdown, AnIdleWorkerEndsAtOnce) {
    ASSERT_TRUE(engine->StartExtract());
    for (int waited = 0; client.Steps().size() < 2 && waited < 5000; waited += 10) ::Sleep(10);
    ASSERT_EQ((std::vector<int>{0, 1}), client.Steps()) << "the extraction phase did not finish";

    const DWORD before = GetTickCount();
    EXPECT_TRUE(engine->Shutdown(5000));
    EXPECT_LT(GetTickCount() - before, 1000u);
    EXPECT_TRUE(engine->Join(0)) << "the thread has ended";
}

TEST_F(EngineShutdown, ARunningExtractionStopsAtItsNextPollAndReportsNothingMore) {
    ExtractUntilCancelled();
    steps.extractSucceeds = false;  // a stopped extraction gives up its attempt
    ASSERT_TRUE(engine->StartExtract());
    ASSERT_TRUE(WaitFor(extracting));

    const DWORD before = GetTickCount();
    EXPECT_TRUE(engine->Shutdown(5000));
    EXPECT_LT(GetTickCount() - before, 1000u);
    EXPECT_EQ((std::vector<int>{0}), client.Steps());
    EXPECT_EQ(0, client.Errors()) << "nobody is left to show the error";
    EXPECT_EQ(-1, steps.IndexOf(L"CopyFile"));
    EXPECT_EQ(-1, steps.IndexOf(L"StartCrashMonitor"));
    EXPECT_GE(steps.IndexOf(L"RemoveFailedInstall"), 0) << "what the folder check made goes again";
}

TEST_F(EngineShutdown, AnAbortedExtractionThatFailsReportsNoError) {
    ExtractUntilCancelled();
    steps.extractSucceeds = false;
    ASSERT_TRUE(engine->StartExtract());
    ASSERT_TRUE(WaitFor(extracting));

    engine->Abort();
    ASSERT_TRUE(engine->Join(5000));
    EXPECT_EQ(0, client.Errors());
    EXPECT_EQ((std::vector<int>{0}), client.Steps());
}

TEST_F(EngineShutdown, AWorkerThatWillNotStopIsCutOffFromItsClient) {
    // A step that does not look at the cancellation, as a slow deployment step would not.
    steps.duringExtract = [this](IExtractProgressCallback*) {
        SetEvent(extracting.Get());
        WaitForSingleObject(released.Get(), 10000);
    };
    ASSERT_TRUE(engine->StartExtract());
    ASSERT_TRUE(WaitFor(extracting));

    EXPECT_FALSE(engine->Shutdown(200));
    const std::vector<int> seen = client.Seen();
    SetEvent(released.Get());
    ASSERT_TRUE(engine->Join(5000));
    EXPECT_EQ(seen, client.Seen()) << "the worker reported after it was cut off";
    EXPECT_GE(steps.IndexOf(L"RemoveFailedInstall"), 0);
}

TEST_F(EngineShutdown, AnEngineWhoseWorkerCannotStartSaysSoAndNeverReports) {
    WinMsgThread::SetReadyEventFactoryForTesting(&NoReadyEvent);
    EXPECT_FALSE(engine->StartExtract());
    EXPECT_FALSE(engine->StartInstall());
    EXPECT_TRUE(engine->Shutdown(0)) << "no worker runs";
    EXPECT_EQ((std::vector<int>{0, 0}), client.Seen());
    EXPECT_EQ(-1, steps.IndexOf(L"ExtractPayload"));
}

}  // namespace
