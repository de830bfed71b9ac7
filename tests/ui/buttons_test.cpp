// Buttons and check boxes: which signals a press and a release give, in which order, and what a
// change of state repaints.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/toolkit/check_button.h"
#include "ui/toolkit/custom_install_button.h"
#include "ui/toolkit/progress_bar.h"
#include "ui/toolkit/text_button.h"
#include "ui_test_support.h"

namespace {

using ui::ButtonState;
using ui::MouseAction;
using ui_test::HostedRoot;
using ui_test::RecordingWindow;

// Writes down every signal of the buttons it listens to, with the button's state at that moment.
class SignalLog : public sigslot::has_slots {
public:
    void Listen(ui::ImageButton* button) {
        m_pButton = button;
        button->Pressed.connect(this, &SignalLog::OnPressed);
        button->Clicked.connect(this, &SignalLog::OnClicked);
        button->PressedFrom.connect(this, &SignalLog::OnPressedFrom);
        button->ClickedFrom.connect(this, &SignalLog::OnClickedFrom);
        button->StateChanged.connect(this, &SignalLog::OnStateChanged);
    }
    void OnPressed() { Write("Pressed"); }
    void OnClicked() { Write("Clicked"); }
    void OnPressedFrom(ui::Widget* from) { Write(from == m_pButton ? "PressedFrom" : "PressedFrom?"); }
    void OnClickedFrom(ui::Widget* from) { Write(from == m_pButton ? "ClickedFrom" : "ClickedFrom?"); }
    void OnStateChanged(int oldState, int newState, ui::ImageButton* button) {
        Write("State " + std::to_string(oldState) + ">" + std::to_string(newState) +
              (button == m_pButton ? "" : "?"));
    }

    std::vector<std::string> m_entries;

private:
    void Write(const std::string& what) {
        m_entries.push_back(what + "@" + std::to_string(static_cast<int>(m_pButton->State())));
    }
    ui::ImageButton* m_pButton = nullptr;
};

// A button and a check box side by side in a window's tree.
class ButtonSignals : public ::testing::Test {
protected:
    void SetUp() override {
        m_root.SetHostWindow(m_window.Handle());
        m_root.SetGeometry(0, 0, 200, 100);
        m_button = m_root.AddChild(std::make_unique<ui::ImageButton>());
        m_button->SetGeometry(0, 0, 40, 40);
        m_check = m_root.AddChild(std::make_unique<ui::CheckButton>());
        m_check->SetGeometry(100, 0, 20, 20);
    }

    RecordingWindow m_window;
    HostedRoot m_root;
    ui::ImageButton* m_button = nullptr;
    ui::CheckButton* m_check = nullptr;
    SignalLog m_log;
};

TEST_F(ButtonSignals, ASignalIsEmittedBeforeTheStateChanges) {
    m_log.Listen(m_button);
    m_root.DispatchMouse(MouseAction::Move, 10, 10);
    m_root.DispatchMouse(MouseAction::Press, 10, 10);
    m_root.DispatchMouse(MouseAction::Release, 10, 10);
    // States: 0 Hover, 1 Normal, 2 Down.
    EXPECT_EQ((std::vector<std::string>{"State 1>0@1", "Pressed@0", "PressedFrom@0", "State 0>2@0", "Clicked@2",
                                        "ClickedFrom@2", "State 2>1@2"}),
              m_log.m_entries);
    EXPECT_EQ(ButtonState::Normal, m_button->State()) << "after a click the button shows Normal until moved over";
}

TEST_F(ButtonSignals, AReleaseOverTheButtonClicksWhereverThePressHappened) {
    m_log.Listen(m_button);
    m_root.DispatchMouse(MouseAction::Press, 150, 50);  // on the background
    m_root.DispatchMouse(MouseAction::Release, 10, 10);
    EXPECT_EQ((std::vector<std::string>{"Clicked@1", "ClickedFrom@1"}), m_log.m_entries);
}

TEST_F(ButtonSignals, APressReleasedOutsideOnlyPresses) {
    m_log.Listen(m_button);
    m_root.DispatchMouse(MouseAction::Press, 10, 10);
    m_root.DispatchMouse(MouseAction::Release, 150, 50);
    EXPECT_EQ((std::vector<std::string>{"Pressed@1", "PressedFrom@1", "State 1>2@1", "State 2>1@2"}), m_log.m_entries);
    EXPECT_EQ(ButtonState::Normal, m_button->State());
}

TEST_F(ButtonSignals, ADisabledButtonTakesNothing) {
    m_button->SetState(ButtonState::Disabled);
    m_log.Listen(m_button);
    EXPECT_EQ(0, m_button->OnMouse(MouseAction::Press, 1, 1));
    EXPECT_EQ(0, m_button->OnMouse(MouseAction::Release, 1, 1));
    m_root.DispatchMouse(MouseAction::Move, 10, 10);
    m_root.DispatchMouse(MouseAction::Move, 150, 50);
    EXPECT_TRUE(m_log.m_entries.empty());
    EXPECT_EQ(ButtonState::Disabled, m_button->State());
}

TEST_F(ButtonSignals, ACheckBoxFlipsOnThePressAndClicksOnTheRelease) {
    m_log.Listen(m_check);
    ASSERT_TRUE(m_check->IsChecked());
    m_root.DispatchMouse(MouseAction::Move, 110, 10);
    m_root.DispatchMouse(MouseAction::Press, 110, 10);
    EXPECT_FALSE(m_check->IsChecked());
    EXPECT_TRUE(m_log.m_entries.empty()) << "the press emitted something";
    m_root.DispatchMouse(MouseAction::Release, 110, 10);
    EXPECT_EQ((std::vector<std::string>{"Clicked@1"}), m_log.m_entries) << "only Clicked, and no hover state";

    m_log.m_entries.clear();
    m_root.DispatchMouse(MouseAction::Press, 110, 10);
    m_root.DispatchMouse(MouseAction::Release, 150, 50);
    EXPECT_TRUE(m_check->IsChecked()) << "the press did not flip the box";
    EXPECT_TRUE(m_log.m_entries.empty()) << "a release elsewhere clicked the box";
}

// Writes down what a check box shows each time it reports a change.
class ToggleLog : public sigslot::has_slots {
public:
    explicit ToggleLog(ui::CheckButton* box) : m_pBox(box) { box->Toggled.connect(this, &ToggleLog::OnToggled); }
    void OnToggled() { m_shown.push_back(m_pBox->IsChecked()); }
    std::vector<bool> m_shown;

private:
    ui::CheckButton* m_pBox;
};

TEST_F(ButtonSignals, ACheckBoxReportsEveryChangeOfWhatItShowsHoweverItCame) {
    ToggleLog toggles(m_check);
    // Pressed on the box, released beside it: no click, but the box flipped and says so.
    m_root.DispatchMouse(MouseAction::Press, 110, 10);
    m_root.DispatchMouse(MouseAction::Release, 150, 50);
    EXPECT_EQ((std::vector<bool>{false}), toggles.m_shown);
    // A whole click reports once, on the press.
    m_root.DispatchMouse(MouseAction::Press, 110, 10);
    m_root.DispatchMouse(MouseAction::Release, 110, 10);
    EXPECT_EQ((std::vector<bool>{false, true}), toggles.m_shown);

    toggles.m_shown.clear();
    m_window.TakeUpdateRect();
    m_check->SetChecked(true);
    EXPECT_TRUE(toggles.m_shown.empty()) << "setting the shown value reported a change";
    const RECT unchanged = m_window.TakeUpdateRect();
    EXPECT_TRUE(IsRectEmpty(&unchanged)) << "setting the shown value repainted";
    m_check->SetChecked(false);
    m_check->Toggle();
    EXPECT_EQ((std::vector<bool>{false, true}), toggles.m_shown);
    const RECT repainted = m_window.TakeUpdateRect();
    EXPECT_EQ(100, repainted.left) << "the box's own rectangle was not invalidated";
}

TEST_F(ButtonSignals, SettingTheSameStateEmitsAndRepaintsNothing) {
    m_log.Listen(m_button);
    m_window.TakeUpdateRect();
    m_button->SetState(ButtonState::Normal);
    EXPECT_TRUE(m_log.m_entries.empty());
    const RECT unchanged = m_window.TakeUpdateRect();
    EXPECT_TRUE(IsRectEmpty(&unchanged)) << "setting the same state repainted";

    m_button->SetState(ButtonState::Down);
    EXPECT_EQ((std::vector<std::string>{"State 1>2@1"}), m_log.m_entries);
    const RECT repainted = m_window.TakeUpdateRect();
    EXPECT_EQ(0, repainted.left);
    EXPECT_EQ(40, repainted.right) << "the button's own rectangle was not invalidated";
}

// Setters repaint the widget's own rectangle, and only when the value changes.
TEST(WidgetRepaint, SettersInvalidateTheWidgetsRectangleOnlyOnAChange) {
    RecordingWindow window;
    HostedRoot root;
    root.SetHostWindow(window.Handle());
    auto* panel = root.AddChild(std::make_unique<ui::Widget>());
    panel->SetGeometry(10, 20, 100, 60);
    auto* label = panel->AddChild(std::make_unique<ui::TextButton>());
    label->SetGeometry(5, 6, 50, 14);
    auto* bar = panel->AddChild(std::make_unique<ui::ProgressBar>());
    bar->SetGeometry(0, 40, 100, 8);
    window.TakeUpdateRect();

    label->SetText(L"", true);
    label->SetColor(label->Color());
    label->SetUnderline(false);
    label->SetAlignment(ui::TextAlignment::Center);
    bar->SetValue(0, true);
    bar->SetValue(40, false);
    RECT update = window.TakeUpdateRect();
    EXPECT_TRUE(IsRectEmpty(&update)) << "an unchanged value or a silent set repainted";

    label->SetColor(0xFFFFFFFF);
    update = window.TakeUpdateRect();
    EXPECT_EQ((RECT{15, 26, 65, 40}), update);

    bar->SetValue(41, true);
    update = window.TakeUpdateRect();
    EXPECT_EQ((RECT{10, 60, 110, 68}), update);

    panel->SetVisible(false);
    update = window.TakeUpdateRect();
    EXPECT_EQ((RECT{10, 20, 110, 80}), update) << "hiding did not repaint the area below";
}

}  // namespace
