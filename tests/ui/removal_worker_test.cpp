// The uninstall window's worker: Remove runs on a thread of its own and its reports reach the
// window as posted messages, few and in order.
#include "ui/uninstall/removal_worker.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "diag/win_handle.h"
#include "ui/uninstall/uninstall_window.h"

namespace ui {
namespace {

// A window that only receives: the test reads its queue with GetMessage.
class MessageWindow {
public:
    MessageWindow()
        : m_window(CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr)) {}
    ~MessageWindow() { DestroyWindow(m_window); }
    HWND Get() const { return m_window; }

    // The progress percentages posted until the done message, and the done message's result.
    std::pair<std::vector<int>, int> Collect() {
        std::vector<int> percents;
        MSG message;
        while (GetMessageW(&message, m_window, 0, 0) > 0) {
            if (message.message == RemovalWorker::kRemovalProgress) {
                percents.push_back(static_cast<int>(message.wParam));
            }
            if (message.message == RemovalWorker::kRemovalDone) return {percents, static_cast<int>(message.wParam)};
        }
        return {percents, -1000};
    }

private:
    HWND m_window;
};

class ScriptedRemoval : public UninstallWindowHandler {
public:
    std::vector<double> fractions;
    int result = 0;
    HANDLE release = nullptr;  // when set, Remove waits for it first
    bool removeData = false;
    DWORD thread = 0;

    bool IsClientRunning() override { return false; }
    bool CloseClient() override { return true; }
    int Remove(bool data, const std::function<void(double)>& progress) override {
        removeData = data;
        thread = GetCurrentThreadId();
        if (release) WaitForSingleObject(release, 10000);
        for (double fraction : fractions) progress(fraction);
        return result;
    }
};

TEST(RemovalWorker, PostsEachPercentOnceInOrderAndTheResultLast) {
    MessageWindow window;
    ScriptedRemoval removal;
    removal.fractions = {-0.5, 0.0};
    for (int i = 0; i <= 2000; ++i) removal.fractions.push_back(i / 2000.0);
    removal.fractions.insert(removal.fractions.end(), {1.7, std::nan(""), 1.0});
    removal.result = 7;
    RemovalWorker worker;
    ASSERT_TRUE(worker.Start(window.Get(), removal, true));
    const auto [percents, result] = window.Collect();
    worker.Join();

    std::vector<int> expected;
    for (int percent = 0; percent <= 100; ++percent) expected.push_back(percent);
    EXPECT_EQ(percents, expected);
    EXPECT_EQ(result, 7);
    EXPECT_TRUE(removal.removeData);
    EXPECT_NE(removal.thread, GetCurrentThreadId()) << "Remove must not run on the window's thread";
}

TEST(RemovalWorker, RefusesASecondRemovalUntilTheFirstIsJoinedAndReportsFailure) {
    MessageWindow window;
    diag::ScopedHandle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ScriptedRemoval removal;
    removal.release = release.Get();
    removal.result = 1;
    RemovalWorker worker;
    ASSERT_TRUE(worker.Start(window.Get(), removal, false));
    EXPECT_FALSE(worker.Start(window.Get(), removal, false));
    SetEvent(release.Get());
    const auto [percents, result] = window.Collect();
    worker.Join();
    EXPECT_TRUE(percents.empty());
    EXPECT_EQ(result, 1);
    EXPECT_FALSE(removal.removeData);

    // Once joined, the worker serves again.
    removal.release = nullptr;
    removal.fractions = {0.5};
    removal.result = 0;
    ASSERT_TRUE(worker.Start(window.Get(), removal, true));
    const auto [again, secondResult] = window.Collect();
    EXPECT_EQ(again, std::vector<int>({50}));
    EXPECT_EQ(secondResult, 0);
}

}  // namespace
}  // namespace ui
