// The engine's reports reach the UI manager on the worker thread; without a setup window they are
// dropped, and what they carry on the heap is freed rather than lost.
#include <gtest/gtest.h>

#include <atomic>

#include "app/install_errors.h"
#include "ui/install_ui_manager.h"

namespace {

std::atomic<int> g_destroyed{0};

class CountedError : public InstallError {
public:
    CountedError() : InstallError(kUnknown) {}
    ~CountedError() override { ++g_destroyed; }
};

TEST(UiManagerReports, WithoutAWindowTheErrorIsFreedAndNothingIsPosted) {
    g_destroyed = 0;
    InstallUIManager manager;
    manager.OnProgress(0.5f);
    manager.OnStep(2);
    manager.OnError(new CountedError());
    EXPECT_EQ(1, g_destroyed.load()) << "the dropped error object was not released";

    MSG message;
    EXPECT_FALSE(PeekMessageW(&message, nullptr, WM_USER + 1, WM_USER + 3, PM_NOREMOVE))
        << "a report was posted with no window to receive it";
}

}  // namespace
