// The dialog window hosts a widget tree: its size, mouse and paint messages reach the tree, and it
// closes once however often it is told to.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include "ui/toolkit/dialog_wrapper.h"
#include "ui_test_support.h"

namespace {

using ui::MouseAction;
using ui_test::PumpMessages;

constexpr UINT kProbeMessage = WM_APP + 7;

struct Seen {
    MouseAction action;
    int x;
    int y;
};

// A page that paints a solid background, records the mouse actions and messages that reach it,
// and runs the test's code at initialisation and on its own message.
class ProbeDialog : public ui::DialogWrapper {
public:
    explicit ProbeDialog(bool modal) : DialogWrapper(modal) {}

    int32_t DispatchMouse(MouseAction action, int x, int y) override {
        m_mouse.push_back({action, x, y});
        return 1;
    }
    void Paint(Gdiplus::Graphics& surface) override {
        ++m_paints;
        Gdiplus::SolidBrush brush{Gdiplus::Color(0xFF0000FF)};
        surface.FillRectangle(&brush, 0, 0, Width(), Height());
    }

    std::vector<Seen> m_mouse;
    std::vector<UINT> m_messages;
    int m_inits = 0;
    int m_paints = 0;
    std::function<void()> m_onInit;
    std::function<void()> m_onProbe;

protected:
    void OnInitDialog() override {
        ++m_inits;
        if (m_onInit) m_onInit();
    }
    INT_PTR HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
        m_messages.push_back(message);
        if (message == kProbeMessage && m_onProbe) m_onProbe();
        return 0;
    }
};

// Fills its rectangle red.
class RedBlock : public ui::Widget {
public:
    void Paint(Gdiplus::Graphics& surface) override {
        Gdiplus::SolidBrush brush{Gdiplus::Color(0xFFFF0000)};
        surface.FillRectangle(&brush, 0, 0, Width(), Height());
    }
};

HINSTANCE Module() {
    return GetModuleHandleW(nullptr);
}

COLORREF WindowPixel(HWND window, int x, int y) {
    HDC dc = GetDC(window);
    const COLORREF pixel = GetPixel(dc, x, y);
    ReleaseDC(window, dc);
    return pixel;
}

TEST(DialogWrapper, AModelessWindowIsTheRootOfItsTreeAndTakesItsSize) {
    ProbeDialog dialog(false);
    ASSERT_TRUE(dialog.Show(nullptr, ui_test::kDialogTemplate, Module()));
    HWND window = dialog.Window();
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(1, dialog.m_inits);
    EXPECT_EQ(window, dialog.HostWindow());
    EXPECT_EQ(&dialog, ui::WindowMap::Find(window));

    SetWindowPos(window, nullptr, 0, 0, 590, 440, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_EQ(590, dialog.Width());
    EXPECT_EQ(440, dialog.Height());
}

TEST(DialogWrapper, AModalWrapperCreatesNothingUntilItRuns) {
    ProbeDialog dialog(true);
    EXPECT_TRUE(dialog.Show(nullptr, ui_test::kDialogTemplate, Module()));
    EXPECT_EQ(nullptr, dialog.Window());
    EXPECT_EQ(0, dialog.m_inits);
}

TEST(DialogWrapper, MouseCoordinatesAreSigned16BitValues) {
    ProbeDialog dialog(false);
    ASSERT_TRUE(dialog.Show(nullptr, ui_test::kDialogTemplate, Module()));
    PostMessageW(dialog.Window(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(0xFFFF, 7));
    PostMessageW(dialog.Window(), WM_MOUSEMOVE, 0, MAKELPARAM(5, 0x8000));
    PostMessageW(dialog.Window(), WM_LBUTTONUP, 0, MAKELPARAM(300, 200));
    PostMessageW(dialog.Window(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(1, 1));
    PumpMessages();

    ASSERT_EQ(3u, dialog.m_mouse.size()) << "the right button or a lost message";
    EXPECT_EQ(MouseAction::Press, dialog.m_mouse[0].action);
    EXPECT_EQ(-1, dialog.m_mouse[0].x);
    EXPECT_EQ(7, dialog.m_mouse[0].y);
    EXPECT_EQ(MouseAction::Move, dialog.m_mouse[1].action);
    EXPECT_EQ(-32768, dialog.m_mouse[1].y);
    EXPECT_EQ(MouseAction::Release, dialog.m_mouse[2].action);
    EXPECT_EQ(300, dialog.m_mouse[2].x);
    EXPECT_EQ(200, dialog.m_mouse[2].y);
}

TEST(DialogWrapper, OtherMessagesReachThePageAndAForgottenWindowsReachNobody) {
    auto dialog = std::make_unique<ProbeDialog>(false);
    ASSERT_TRUE(dialog->Show(nullptr, ui_test::kDialogTemplate, Module()));
    HWND window = dialog->Window();
    SendMessageW(window, kProbeMessage, 0, 0);
    EXPECT_EQ(1u, std::count(dialog->m_messages.begin(), dialog->m_messages.end(), kProbeMessage));

    ui::WindowMap::Remove(window);
    SendMessageW(window, kProbeMessage, 0, 0);
    EXPECT_EQ(1u, std::count(dialog->m_messages.begin(), dialog->m_messages.end(), kProbeMessage));
    dialog.reset();
    EXPECT_FALSE(IsWindow(window)) << "the wrapper left its open window behind";
}

TEST(DialogWrapper, EndModalTwiceEndsOnceAndDestroyNativeAfterItDoesNothing) {
    ProbeDialog dialog(true);
    ASSERT_TRUE(dialog.Show(nullptr, ui_test::kDialogTemplate, Module()));
    bool stillOpen = false;
    dialog.m_onInit = [&] { PostMessageW(dialog.Window(), kProbeMessage, 0, 0); };
    dialog.m_onProbe = [&] {
        dialog.EndModal(7);
        dialog.EndModal(9);
        dialog.DestroyNative();
        // The modal loop ends the window itself once it has returned.
        stillOpen = IsWindow(dialog.Window()) != FALSE;
    };
    EXPECT_EQ(7, dialog.RunModal());
    EXPECT_TRUE(stillOpen) << "DestroyNative destroyed a window that EndModal had already closed";
    EXPECT_TRUE(dialog.IsClosed());
    EXPECT_EQ(1, dialog.m_inits);
}

TEST(DialogWrapper, DestroyNativeClosesAModelessWindowOnce) {
    ProbeDialog dialog(false);
    ASSERT_TRUE(dialog.Show(nullptr, ui_test::kDialogTemplate, Module()));
    HWND window = dialog.Window();
    dialog.DestroyNative();
    EXPECT_FALSE(IsWindow(window));
    dialog.DestroyNative();
    dialog.EndModal(3);
    EXPECT_TRUE(dialog.IsClosed());
}

TEST(DialogWrapper, PaintingDrawsTheWholeTreeAndAnInvalidatedWidgetIsRedrawn) {
    ProbeDialog dialog(false);
    ASSERT_TRUE(dialog.Show(nullptr, ui_test::kDialogTemplate, Module()));
    HWND window = dialog.Window();
    auto* block = dialog.AddChild(std::make_unique<RedBlock>());
    block->SetGeometry(10, 10, 20, 20);
    SetWindowPos(window, HWND_TOP, 0, 0, 100, 80, SWP_NOACTIVATE | SWP_SHOWWINDOW);
    UpdateWindow(window);
    PumpMessages();
    ASSERT_GT(dialog.m_paints, 0) << "the window was never painted";
    EXPECT_EQ(RGB(255, 0, 0), WindowPixel(window, 15, 15));
    EXPECT_EQ(RGB(0, 0, 255), WindowPixel(window, 50, 50));
    EXPECT_EQ(RGB(0, 0, 255), WindowPixel(window, 99, 79));

    const int paints = dialog.m_paints;
    block->SetVisible(false);
    UpdateWindow(window);
    EXPECT_EQ(paints + 1, dialog.m_paints) << "hiding the block did not repaint once";
    EXPECT_EQ(RGB(0, 0, 255), WindowPixel(window, 15, 15)) << "the hidden block is still on screen";
}

}  // namespace
