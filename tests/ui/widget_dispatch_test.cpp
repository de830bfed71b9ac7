// Mouse actions find their widget by a strict hit test in children order; whatever takes no press
// lets the user drag the window.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "ui/toolkit/check_button.h"
#include "ui/toolkit/progress_bar.h"
#include "ui/toolkit/text_button.h"
#include "ui_test_support.h"

namespace {

using ui::ButtonState;
using ui::MouseAction;
using ui_test::HostedRoot;
using ui_test::RecordingWindow;

constexpr WPARAM kDragCommand = 0xF012;

struct Seen {
    MouseAction action;
    int x;
    int y;
};

// Records what reaches it and answers with a fixed result.
class RecordingWidget : public ui::Widget {
public:
    explicit RecordingWidget(int32_t result = 1) : m_result(result) {}
    int32_t OnMouse(MouseAction action, int x, int y) override {
        m_seen.push_back({action, x, y});
        return m_result;
    }
    std::vector<Seen> m_seen;

private:
    int32_t m_result;
};

template <typename T>
T* Add(ui::Widget& parent, int x, int y, int width, int height, std::unique_ptr<T> child = std::make_unique<T>()) {
    T* added = parent.AddChild(std::move(child));
    added->SetGeometry(x, y, width, height);
    return added;
}

TEST(WidgetHitTest, APointOnAChildsEdgeIsNotInsideIt) {
    HostedRoot root;
    root.SetGeometry(0, 0, 100, 100);
    auto* child = Add(root, 10, 10, 20, 20, std::make_unique<RecordingWidget>());

    for (const POINT& edge : {POINT{10, 15}, POINT{30, 15}, POINT{15, 10}, POINT{15, 30}}) {
        root.DispatchMouse(MouseAction::Move, edge.x, edge.y);
    }
    for (const Seen& seen : child->m_seen) EXPECT_EQ(MouseAction::Leave, seen.action) << "an edge point hit the child";

    child->m_seen.clear();
    root.DispatchMouse(MouseAction::Move, 11, 29);
    ASSERT_EQ(1u, child->m_seen.size());
    EXPECT_EQ(MouseAction::Move, child->m_seen[0].action);
    EXPECT_EQ(1, child->m_seen[0].x) << "the action is not in the child's coordinates";
    EXPECT_EQ(19, child->m_seen[0].y);
}

TEST(WidgetHitTest, TheFirstAddedOfOverlappingChildrenWinsAndLaterOnesGetNoLeave) {
    HostedRoot root;
    root.SetGeometry(0, 0, 100, 100);
    auto* before = Add(root, 60, 60, 20, 20, std::make_unique<RecordingWidget>());
    auto* first = Add(root, 0, 0, 50, 50, std::make_unique<RecordingWidget>());
    auto* second = Add(root, 10, 10, 50, 50, std::make_unique<RecordingWidget>());

    EXPECT_EQ(1, root.DispatchMouse(MouseAction::Press, 20, 20));
    ASSERT_EQ(1u, first->m_seen.size());
    EXPECT_EQ(MouseAction::Press, first->m_seen[0].action);
    EXPECT_TRUE(second->m_seen.empty()) << "a child after the hit one was visited";
    ASSERT_EQ(1u, before->m_seen.size()) << "a child before the hit one was not told the pointer left it";
    EXPECT_EQ(MouseAction::Leave, before->m_seen[0].action);
}

TEST(WidgetHitTest, HiddenChildrenAreSkippedButStillToldToLeave) {
    HostedRoot root;
    root.SetGeometry(0, 0, 100, 100);
    auto* hidden = Add(root, 0, 0, 50, 50, std::make_unique<RecordingWidget>());
    auto* below = Add(root, 0, 0, 50, 50, std::make_unique<RecordingWidget>());
    hidden->SetVisible(false);

    root.DispatchMouse(MouseAction::Press, 20, 20);
    EXPECT_TRUE(hidden->m_seen.empty());
    ASSERT_EQ(1u, below->m_seen.size());

    root.DispatchMouse(MouseAction::Leave, 5, 6);
    ASSERT_EQ(1u, hidden->m_seen.size());
    EXPECT_EQ(MouseAction::Leave, hidden->m_seen[0].action);
    EXPECT_EQ(5, hidden->m_seen[0].x);
}

TEST(WidgetHitTest, MovingOntoAnEarlierButtonLeavesTheLaterOneInHover) {
    HostedRoot root;
    root.SetGeometry(0, 0, 100, 100);
    auto* left = Add<ui::ImageButton>(root, 0, 0, 40, 40);
    auto* right = Add<ui::ImageButton>(root, 50, 0, 40, 40);

    root.DispatchMouse(MouseAction::Move, 60, 10);
    EXPECT_EQ(ButtonState::Hover, right->State());
    root.DispatchMouse(MouseAction::Move, 10, 10);
    EXPECT_EQ(ButtonState::Hover, left->State());
    EXPECT_EQ(ButtonState::Hover, right->State());
    root.DispatchMouse(MouseAction::Move, 95, 95);
    EXPECT_EQ(ButtonState::Normal, left->State());
    EXPECT_EQ(ButtonState::Normal, right->State());
}

// Where a press lands decides whether the window is dragged: only surfaces that take no press do.
class WindowDrag : public ::testing::Test {
protected:
    void SetUp() override {
        m_root.SetHostWindow(m_window.Handle());
        m_root.SetGeometry(0, 0, 200, 100);
        m_panel = Add(m_root, 100, 0, 100, 100, std::make_unique<ui::Widget>());
        m_button = Add<ui::ImageButton>(*m_panel, 0, 0, 20, 20);
        m_label = Add<ui::TextButton>(*m_panel, 30, 0, 20, 20);
        m_check = Add<ui::CheckButton>(*m_panel, 60, 0, 20, 20);
        m_bar = Add<ui::ProgressBar>(*m_panel, 0, 50, 100, 10);
    }

    bool Dragged() const {
        for (WPARAM command : m_window.SystemCommands()) {
            if (command == kDragCommand) return true;
        }
        return false;
    }

    RecordingWindow m_window;
    HostedRoot m_root;
    ui::Widget* m_panel = nullptr;
    ui::ImageButton* m_button = nullptr;
    ui::TextButton* m_label = nullptr;
    ui::CheckButton* m_check = nullptr;
    ui::ProgressBar* m_bar = nullptr;
};

TEST_F(WindowDrag, PressesOnTheBackgroundAPanelADisabledButtonOrAProgressBarDragTheWindow) {
    const POINT surfaces[] = {{50, 50}, {150, 30}, {150, 55}};
    for (const POINT& at : surfaces) {
        EXPECT_EQ(1, m_root.DispatchMouse(MouseAction::Press, at.x, at.y));
        EXPECT_TRUE(Dragged()) << "no drag for a press at " << at.x << "," << at.y;
        EXPECT_EQ(1u, m_window.SystemCommands().size());
        EXPECT_EQ(0, m_root.DispatchMouse(MouseAction::Release, at.x, at.y));
        EXPECT_EQ(1u, m_window.SystemCommands().size()) << "a release dragged the window";
        m_root.DispatchMouse(MouseAction::Move, at.x, at.y);
        EXPECT_EQ(1u, m_window.SystemCommands().size()) << "a move dragged the window";
        m_window.ClearSystemCommands();
    }
    m_button->SetState(ButtonState::Disabled);
    m_root.DispatchMouse(MouseAction::Press, 110, 10);
    EXPECT_TRUE(Dragged()) << "a disabled button took the press";
}

TEST_F(WindowDrag, PressesOnAnEnabledButtonATextLabelOrACheckBoxDoNot) {
    EXPECT_EQ(1, m_root.DispatchMouse(MouseAction::Press, 110, 10));
    EXPECT_EQ(1, m_root.DispatchMouse(MouseAction::Press, 140, 10));
    EXPECT_EQ(1, m_root.DispatchMouse(MouseAction::Press, 170, 10));
    EXPECT_FALSE(Dragged());
}

TEST(WidgetGeometry, AbsoluteRectAndHostWindowComeFromTheAncestors) {
    RecordingWindow window;
    HostedRoot root;
    root.SetHostWindow(window.Handle());
    auto* panel = Add(root, 10, 20, 100, 100, std::make_unique<ui::Widget>());
    auto* leaf = Add(*panel, 3, 4, 5, 6, std::make_unique<ui::Widget>());

    const RECT rect = leaf->AbsoluteRect();
    EXPECT_EQ(13, rect.left);
    EXPECT_EQ(24, rect.top);
    EXPECT_EQ(18, rect.right);
    EXPECT_EQ(30, rect.bottom);
    EXPECT_EQ(window.Handle(), leaf->HostWindow());
    EXPECT_EQ(panel, leaf->Parent());

    ui::Widget loose;
    EXPECT_EQ(nullptr, loose.HostWindow());
    loose.Invalidate();  // no window: nothing to do, and nothing breaks
}

}  // namespace
