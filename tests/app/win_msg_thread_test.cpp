// The worker thread's start: the first posted message arrives, and a thread whose ready event
// cannot be made is not started, so that nobody waits for it.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "app/win_msg_thread.h"
#include "diag/win_handle.h"

namespace {

class RecordingThread : public WinMsgThread {
public:
    ~RecordingThread() override {
        if (ThreadId() != 0) Stop(true, 5000);
    }
    void OnMessage(const MSG& message) override {
        messages.push_back(message.message);
        if (message.message == kFirst && onFirst) onFirst(message);
        if (message.message == kLast) SetEvent(m_hLastSeen.Get());
    }
    static constexpr UINT kFirst = WM_USER + 1;
    static constexpr UINT kLast = WM_USER + 9;
    std::vector<UINT> messages;
    std::function<void(const MSG&)> onFirst;
    diag::ScopedHandle m_hLastSeen{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

HANDLE NoEvent() {
    SetLastError(ERROR_NO_SYSTEM_RESOURCES);
    return nullptr;
}

DWORD WINAPI RunCall(void* parameter) {
    std::unique_ptr<std::function<void()>> call(static_cast<std::function<void()>*>(parameter));
    (*call)();
    return 0;
}

// Runs `call` on a thread of its own; false when it has not returned after `milliseconds`.
bool ReturnsWithin(DWORD milliseconds, std::function<void()> call) {
    diag::ScopedHandle thread(CreateThread(nullptr, 0, &RunCall, new std::function<void()>(std::move(call)), 0, nullptr));
    return WaitForSingleObject(thread.Get(), milliseconds) == WAIT_OBJECT_0;
}

class ReadyEventFailure : public testing::Test {
protected:
    void TearDown() override { WinMsgThread::SetReadyEventFactoryForTesting(nullptr); }
};

TEST_F(ReadyEventFailure, StartsNoThreadAndNeitherPostNorStopWaits) {
    WinMsgThread::SetReadyEventFactoryForTesting(&NoEvent);
    RecordingThread thread;
    EXPECT_FALSE(thread.Start());
    EXPECT_EQ(0u, thread.ThreadId()) << "no thread is left running";

    BOOL posted = TRUE;
    EXPECT_TRUE(ReturnsWithin(5000, [&] { posted = thread.Post(RecordingThread::kFirst, 0, 0); }));
    EXPECT_FALSE(posted);
    EXPECT_TRUE(ReturnsWithin(5000, [&] { thread.Stop(true, INFINITE); }));
    EXPECT_TRUE(thread.StopRequested());
}

TEST_F(ReadyEventFailure, ALaterStartWithAnEventWorks) {
    WinMsgThread::SetReadyEventFactoryForTesting(&NoEvent);
    RecordingThread thread;
    ASSERT_FALSE(thread.Start());
    WinMsgThread::SetReadyEventFactoryForTesting(nullptr);
    ASSERT_TRUE(thread.Start());
    EXPECT_NE(0u, thread.ThreadId());
    thread.Post(RecordingThread::kLast, 0, 0);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread.m_hLastSeen.Get(), 5000));
}

// Posts made at once after Start, before the thread has run a single instruction, wait for its
// queue instead of being lost, and arrive in order.
TEST(WorkerThread, MessagesPostedRightAfterStartArriveInOrder) {
    for (int round = 0; round < 20; ++round) {
        RecordingThread thread;
        ASSERT_TRUE(thread.Start());
        for (UINT message = RecordingThread::kFirst; message <= RecordingThread::kLast; ++message) {
            ASSERT_TRUE(thread.Post(message, 0, 0));
        }
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread.m_hLastSeen.Get(), 5000));
        ASSERT_EQ(WAIT_OBJECT_0, thread.Stop(true, 5000));
        std::vector<UINT> expected;
        for (UINT message = RecordingThread::kFirst; message <= RecordingThread::kLast; ++message) expected.push_back(message);
        ASSERT_EQ(expected, thread.messages) << "round " << round;
    }
}

// Join waits for the message being handled, never longer than it is told; a thread that was
// never started has nothing to wait for.
TEST(WorkerThread, JoinIsBoundedAndEndsTheThreadAfterItsCurrentMessage) {
    RecordingThread never;
    EXPECT_TRUE(never.Join(0));

    diag::ScopedHandle handling(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    diag::ScopedHandle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    RecordingThread thread;
    // The first message holds the thread until it is released.
    thread.onFirst = [&](const MSG&) {
        SetEvent(handling.Get());
        WaitForSingleObject(release.Get(), 10000);
    };
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(thread.Post(RecordingThread::kFirst, 0, 0));
    ASSERT_TRUE(thread.Post(RecordingThread::kLast, 0, 0));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(handling.Get(), 5000));

    const DWORD before = GetTickCount();
    EXPECT_FALSE(thread.Join(200));
    EXPECT_LT(GetTickCount() - before, 1000u);
    SetEvent(release.Get());
    EXPECT_TRUE(thread.Join(5000));
    EXPECT_EQ((std::vector<UINT>{RecordingThread::kFirst}), thread.messages) << "the queued message is not handled";
}

}  // namespace
