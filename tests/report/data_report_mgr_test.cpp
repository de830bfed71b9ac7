// Batching, sequence numbers, retries and shutdown of the report manager against a real server.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <mutex>

#include "diag/win_handle.h"
#include "fake_report_server.h"
#include "hanging_lookup.h"
#include "report/data_report_mgr.h"

namespace {

using pelora_data_report::ReportData;
using Reply = FakeReportServer::Reply;

// What the caller may take beyond its bound: the scheduler's slice, not a second wait. On a loaded
// two-core machine (the suite's unit tests beside two CPU-burning processes) a stop "at once" took
// 406 ms; the waits a broken bound adds are the 2-second acknowledgement or the longer bound.
constexpr DWORD kSchedulingMarginMs = 500;

// The moments (performance-counter ms) at which the report thread looked the server up, which it
// does once per attempt to send.
class AttemptClock {
public:
    std::function<uint32_t(const std::wstring&)> Resolver() {
        return [this](const std::wstring&) {
            LARGE_INTEGER now = {}, frequency = {};
            QueryPerformanceCounter(&now);
            QueryPerformanceFrequency(&frequency);
            std::lock_guard<std::mutex> lock(m_mutex);
            m_attempts.push_back(static_cast<double>(now.QuadPart) * 1000.0 / frequency.QuadPart);
            return static_cast<uint32_t>(inet_addr("127.0.0.1"));
        };
    }
    std::vector<double> Attempts() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_attempts;
    }

private:
    std::mutex m_mutex;
    std::vector<double> m_attempts;
};

PeloraReportItem Item(const char* bid) {
    PeloraReportItem item;
    item.SetBid(bid);
    return item;
}

// Short waits so a test runs in seconds; cached items are due only by count unless a test
// shortens the idle limit.
ReportTimings FastTimings() {
    ReportTimings timings;
    timings.idleWaitMs = 1000;
    timings.shortRetryWaitMs = 100;
    timings.longRetryWaitMs = 200;
    timings.cacheIdleLimitMs = 60000;
    timings.cacheAgeLimitMs = 60000;
    return timings;
}

class DataReportMgrTest : public ::testing::Test {
protected:
    std::shared_ptr<DataReportMgr> MakeManager(const ReportTimings& timings = FastTimings()) {
        ReportEndpoint endpoint;
        endpoint.host = L"127.0.0.1";
        endpoint.ports.assign(1, std::to_string(server.port()));
        return DataReportMgr::Create(endpoint, timings);
    }
    // Keeps a report thread busy waiting for a slow acknowledgement of a first message, so that
    // the next items are all queued before its next pass.
    void StartBusyThread(DataReportMgr& manager) {
        server.SetReply(Reply::kDelayed, 500);
        manager.AddReportItem(Item("warmup"), true);
        ASSERT_TRUE(server.WaitForFrames(1, 2000));
        server.SetReply(Reply::kAcknowledge);
    }
    // The messages after the warm-up one.
    std::vector<ReportData> LaterMessages() {
        auto messages = server.messages();
        if (!messages.empty()) messages.erase(messages.begin());
        return messages;
    }
    static std::vector<std::string> Bids(const ReportData& message) {
        std::vector<std::string> bids;
        for (const auto& item : message.list_reportitem()) bids.push_back(item.string_bid());
        return bids;
    }
    bool WaitUntilIdle(DataReportMgr& manager, DWORD limitMs) {
        const DWORD start = GetTickCount();
        while (manager.IsThreadRunning()) {
            if (GetTickCount() - start > limitMs) return false;
            Sleep(10);
        }
        return true;
    }

    FakeReportServer server;
};

TEST_F(DataReportMgrTest, TwoImmediateItemsTravelInOneMessage) {
    auto manager = MakeManager();
    manager->SetClientVersion("1.14.301");
    StartBusyThread(*manager);
    manager->AddReportItem(Item("a"), true);
    manager->AddReportItem(Item("b"), true);
    ASSERT_TRUE(server.WaitForFrames(2, 3000));
    const auto messages = LaterMessages();
    ASSERT_EQ(1u, messages.size());
    EXPECT_EQ((std::vector<std::string>{"a", "b"}), Bids(messages[0]));
    EXPECT_EQ(1u, messages[0].uint_clientseq());
    EXPECT_EQ("1.14.301", messages[0].string_clientversion());
    manager->UninitalizeDataReport(1, 3000);
}

TEST_F(DataReportMgrTest, HeaderChangeStartsANewBatch) {
    auto manager = MakeManager();
    manager->SetUid("first");
    StartBusyThread(*manager);
    manager->AddReportItem(Item("a"), true);
    manager->SetUid("second");
    manager->AddReportItem(Item("b"), true);
    ASSERT_TRUE(server.WaitForFrames(3, 5000));
    const auto messages = LaterMessages();
    ASSERT_EQ(2u, messages.size());
    EXPECT_EQ((std::vector<std::string>{"a"}), Bids(messages[0]));
    EXPECT_EQ("first", messages[0].string_uid());
    EXPECT_EQ((std::vector<std::string>{"b"}), Bids(messages[1]));
    EXPECT_EQ("second", messages[1].string_uid());
    EXPECT_EQ(messages[0].uint_clientseq() + 1, messages[1].uint_clientseq());
    manager->UninitalizeDataReport(1, 3000);
}

TEST_F(DataReportMgrTest, CachedItemsLeaveInMessagesOfTenTenAndFive) {
    ReportTimings timings = FastTimings();
    timings.idleWaitMs = 50;
    timings.cacheIdleLimitMs = 700;
    auto manager = MakeManager(timings);
    for (int i = 0; i < 25; ++i) manager->AddReportItem(Item(std::to_string(i).c_str()), false);
    ASSERT_TRUE(server.WaitForFrames(3, 5000));
    const auto messages = server.messages();
    ASSERT_EQ(3u, messages.size());
    EXPECT_EQ(10, messages[0].list_reportitem_size());
    EXPECT_EQ(10, messages[1].list_reportitem_size());
    EXPECT_EQ(5, messages[2].list_reportitem_size());
    EXPECT_EQ("0", messages[0].list_reportitem(0).string_bid());
    EXPECT_EQ("10", messages[1].list_reportitem(0).string_bid());
    EXPECT_EQ("24", messages[2].list_reportitem(4).string_bid());
    EXPECT_EQ(0u, messages[0].uint_clientseq());
    EXPECT_EQ(1u, messages[1].uint_clientseq());
    EXPECT_EQ(2u, messages[2].uint_clientseq());
    EXPECT_TRUE(WaitUntilIdle(*manager, 3000));
}

TEST_F(DataReportMgrTest, LoneCachedItemWaitsForTheIdleLimit) {
    ReportTimings timings = FastTimings();
    timings.idleWaitMs = 50;
    timings.cacheIdleLimitMs = 600;
    auto manager = MakeManager(timings);
    manager->AddReportItem(Item("late"), false);
    EXPECT_FALSE(server.WaitForFrames(1, 300));
    EXPECT_TRUE(server.WaitForFrames(1, 3000));
}

TEST_F(DataReportMgrTest, RetriedMessageKeepsItsNumber) {
    server.SetReply(Reply::kWrongFirstByte);
    auto manager = MakeManager();
    manager->AddReportItem(Item("once"), true);
    ASSERT_TRUE(server.WaitForFrames(2, 5000));
    server.SetReply(Reply::kAcknowledge);
    ASSERT_TRUE(WaitUntilIdle(*manager, 5000));
    const auto messages = server.messages();
    ASSERT_GE(messages.size(), 3u);
    for (const auto& message : messages) {
        EXPECT_EQ(0u, message.uint_clientseq());
        EXPECT_EQ((std::vector<std::string>{"once"}), Bids(message));
    }
    // The next message continues the count.
    manager->AddReportItem(Item("next"), true);
    ASSERT_TRUE(server.WaitForFrames(messages.size() + 1, 3000));
    EXPECT_EQ(1u, server.messages().back().uint_clientseq());
}

TEST_F(DataReportMgrTest, BatchLeftEmptyByAHeaderChangeUsesANumberWithoutConnecting) {
    auto manager = MakeManager();
    StartBusyThread(*manager);
    manager->AddReportItem(Item("a"), true);
    manager->SetUid("changed");  // leaves an empty batch behind "a"
    ASSERT_TRUE(server.WaitForFrames(2, 3000));
    ASSERT_TRUE(WaitUntilIdle(*manager, 3000));  // the next pass takes the empty batch
    manager->AddReportItem(Item("b"), true);
    ASSERT_TRUE(server.WaitForFrames(3, 3000));
    const auto messages = LaterMessages();
    ASSERT_EQ(2u, messages.size());
    EXPECT_EQ(1u, messages[0].uint_clientseq());
    EXPECT_EQ("", messages[0].string_uid());
    EXPECT_EQ(3u, messages[1].uint_clientseq());
    EXPECT_EQ("changed", messages[1].string_uid());
    EXPECT_EQ(3u, server.connections());
    manager->UninitalizeDataReport(1, 3000);
}

TEST_F(DataReportMgrTest, ShutdownReturnsAsSoonAsTheThreadEnds) {
    auto manager = MakeManager();
    manager->AddReportItem(Item("a"), true);
    const DWORD start = GetTickCount();
    EXPECT_EQ(1, manager->UninitalizeDataReport(1, 5000));
    EXPECT_LT(GetTickCount() - start, 2000u);
    EXPECT_FALSE(manager->IsThreadRunning());
    EXPECT_EQ(1u, server.messages().size());
}

TEST_F(DataReportMgrTest, ShutdownFlushesCachedItemsAtOnce) {
    auto manager = MakeManager();
    manager->AddReportItem(Item("cached"), false);
    manager->UninitalizeDataReport(1, 3000);
    ASSERT_EQ(1u, server.messages().size());
    EXPECT_EQ("cached", server.messages()[0].list_reportitem(0).string_bid());
}

TEST_F(DataReportMgrTest, ShutdownWithASilentServerKeepsItsBound) {
    server.SetReply(Reply::kSilent);
    auto manager = MakeManager();
    manager->AddReportItem(Item("a"), true);
    Sleep(100);
    const DWORD start = GetTickCount();
    manager->UninitalizeDataReport(1, 1000);
    const DWORD elapsed = GetTickCount() - start;
    EXPECT_GE(elapsed, 950u);
    EXPECT_LT(elapsed, 1000u + kSchedulingMarginMs);
    EXPECT_FALSE(manager->IsThreadRunning());
    // The manager is still usable: a later item starts a new thread.
    server.SetReply(Reply::kAcknowledge);
    manager->InitializeDataReport();
    manager->AddReportItem(Item("b"), true);
    EXPECT_TRUE(WaitUntilIdle(*manager, 5000));
    EXPECT_EQ("b", server.messages().back().list_reportitem(0).string_bid());
}

TEST_F(DataReportMgrTest, ModeZeroStopsTheThreadAtOnce) {
    server.SetReply(Reply::kSilent);
    auto manager = MakeManager();
    manager->AddReportItem(Item("a"), true);
    Sleep(100);
    const DWORD start = GetTickCount();
    manager->UninitalizeDataReport(0, 5000);
    EXPECT_LT(GetTickCount() - start, kSchedulingMarginMs);
    EXPECT_FALSE(manager->IsThreadRunning());
}

TEST_F(DataReportMgrTest, ShutdownIsNotHeldUpByANameLookupThatNeverAnswers) {
    HangingLookup lookup;
    ReportEndpoint endpoint;
    endpoint.host = L"report.example";
    endpoint.ports.assign(1, std::to_string(server.port()));
    endpoint.resolve = lookup.Resolver();
    auto manager = DataReportMgr::Create(endpoint, FastTimings());
    manager->AddReportItem(Item("a"), true);
    ASSERT_TRUE(lookup.WaitUntilEntered(3000));

    DWORD start = GetTickCount();
    manager->UninitalizeDataReport(1, 1000);
    DWORD elapsed = GetTickCount() - start;
    EXPECT_GE(elapsed, 950u);
    EXPECT_LT(elapsed, 1000u + kSchedulingMarginMs);
    EXPECT_FALSE(manager->IsThreadRunning());

    // A second shutdown meets the thread still stuck and does not wait for it either.
    manager->AddReportItem(Item("b"), true);
    start = GetTickCount();
    manager->UninitalizeDataReport(0, 5000);
    elapsed = GetTickCount() - start;
    EXPECT_LT(elapsed, kSchedulingMarginMs);
    EXPECT_EQ(0u, server.connections());
}

TEST_F(DataReportMgrTest, ShutdownRetriesARefusedServerAfterShortPauses) {
    server.StopListening();
    AttemptClock clock;
    ReportEndpoint endpoint;
    endpoint.host = L"report.example";
    endpoint.ports.assign(1, std::to_string(server.port()));
    endpoint.resolve = clock.Resolver();
    ReportTimings timings;  // a failure waits 10 s, unless the shutdown cuts it short
    auto manager = DataReportMgr::Create(endpoint, timings);
    manager->AddReportItem(Item("a"), true);
    const DWORD first = GetTickCount();
    while (clock.Attempts().empty() && GetTickCount() - first < 3000) Sleep(10);
    ASSERT_EQ(1u, clock.Attempts().size());
    Sleep(100);
    ASSERT_EQ(1u, clock.Attempts().size()) << "the first failure waits its ten seconds";

    const DWORD shutdownMs = 500;
    manager->UninitalizeDataReport(1, shutdownMs);
    const std::vector<double> attempts = clock.Attempts();
    // The shutdown retries at once, then after a 5 ms pause each time.
    ASSERT_GE(attempts.size(), 10u);
    EXPECT_LE(attempts.size(), 1 + shutdownMs / timings.uninitialisingWaitMs + 2);
    double shortest = 1e9;
    for (size_t i = 2; i < attempts.size(); ++i) {
        shortest = std::min(shortest, attempts[i] - attempts[i - 1]);
    }
    EXPECT_GE(shortest, timings.uninitialisingWaitMs - 1.0) << attempts.size() << " attempts";
}

TEST_F(DataReportMgrTest, StoppedThreadLeavesTheLockFree) {
    server.SetReply(Reply::kSilent);
    auto manager = MakeManager();
    manager->AddReportItem(Item("a"), true);
    Sleep(100);
    manager->UninitalizeDataReport(0, 0);
    // Every operation takes the lock; none may block.
    const DWORD start = GetTickCount();
    manager->SetUid("after");
    manager->Flush();
    manager->UninitalizeDataReport(0, 0);
    EXPECT_LT(GetTickCount() - start, 1500u);
}

using DataReportMgrDeathTest = DataReportMgrTest;

TEST_F(DataReportMgrDeathTest, ProcessExitsCleanlyWhileTheThreadWaitsForASilentServer) {
    server.SetReply(Reply::kSilent);
    EXPECT_EXIT(
        {
            auto manager = MakeManager();
            manager->AddReportItem(Item("a"), true);
            Sleep(300);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(DataReportMgrDeathTest, ProcessExitsCleanlyAfterABoundedShutdown) {
    server.SetReply(Reply::kSilent);
    EXPECT_EXIT(
        {
            auto manager = MakeManager();
            manager->AddReportItem(Item("a"), true);
            Sleep(100);
            manager->UninitalizeDataReport(1, 300);
            std::exit(manager->IsThreadRunning() ? 3 : 0);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
