// The location page's path box as a real edit control in a window of the test: its border-free
// frame centres one line, Ctrl+A selects everything, and it owns its font.
#include <gtest/gtest.h>

#include <string>

#include "ui/pages/path_edit_box.h"

namespace {

class PathEditBox : public testing::Test {
protected:
    void SetUp() override {
        m_host = CreateWindowExW(0, L"STATIC", L"host", WS_POPUP, 0, 0, 590, 440, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(nullptr, m_host);
        const RECT rect = {20, 344, 490, 380};
        m_box = ui::CreatePathEditBox(m_host, rect, L"C:\\Users\\u\\Corvane\\Pelora\\App", GetModuleHandleW(nullptr));
        ASSERT_NE(nullptr, m_box);
    }
    void TearDown() override {
        if (m_host) DestroyWindow(m_host);
    }

    HWND m_host = nullptr;
    HWND m_box = nullptr;
};

TEST_F(PathEditBox, SitsWhereItWasPutWithItsIdAndText) {
    RECT window = {};
    GetWindowRect(m_box, &window);
    MapWindowPoints(nullptr, m_host, reinterpret_cast<POINT*>(&window), 2);
    EXPECT_EQ(20, window.left);
    EXPECT_EQ(344, window.top);
    EXPECT_EQ(470, window.right - window.left);
    EXPECT_EQ(36, window.bottom - window.top);
    EXPECT_EQ(ui::kPathEditId, GetDlgCtrlID(m_box));
    EXPECT_EQ(L"C:\\Users\\u\\Corvane\\Pelora\\App", ui::PathEditText(m_box));
}

// The height of one text line in the box's font.
int LineHeight(HWND box) {
    HDC dc = GetDC(box);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(box, WM_GETFONT, 0, 0)));
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(box, dc);
    return metrics.tmHeight;
}

TEST_F(PathEditBox, TheFrameCentresOneLineWithSideMargins) {
    const int line = LineHeight(m_box);
    ASSERT_GT(line, 0);
    const int pad = (36 - line) / 2;
    RECT client = {};
    GetClientRect(m_box, &client);
    EXPECT_EQ(470 - 8, client.right);
    EXPECT_EQ(36 - 2 * pad, client.bottom) << "the whole line fits and is centred";
    // Another recalculation keeps the same client area.
    SetWindowPos(m_box, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
    GetClientRect(m_box, &client);
    EXPECT_EQ(36 - 2 * pad, client.bottom);
    RECT window = {};
    GetWindowRect(m_box, &window);
    POINT origin = {0, 0};
    ClientToScreen(m_box, &origin);
    EXPECT_EQ(4, origin.x - window.left);
    EXPECT_EQ(pad, origin.y - window.top);
}

TEST_F(PathEditBox, ControlAWithControlHeldSelectsEverything) {
    SendMessageW(m_box, EM_SETSEL, 3, 3);
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
    SendMessageW(m_box, WM_KEYDOWN, 'A', 0);
    keys[VK_CONTROL] = 0;
    SetKeyboardState(keys);
    DWORD start = 0, end = 0;
    SendMessageW(m_box, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(0u, start);
    EXPECT_EQ(static_cast<DWORD>(GetWindowTextLengthW(m_box)), end);

    // Without Control an 'A' key selects nothing.
    SendMessageW(m_box, EM_SETSEL, 3, 3);
    SendMessageW(m_box, WM_KEYDOWN, 'A', 0);
    SendMessageW(m_box, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(3u, start);
    EXPECT_EQ(3u, end);
}

TEST_F(PathEditBox, UsesItsOwnFontAndTheTextIsReadUpTo259Characters) {
    auto font = reinterpret_cast<HFONT>(SendMessageW(m_box, WM_GETFONT, 0, 0));
    ASSERT_NE(nullptr, font);
    LOGFONTW description = {};
    ASSERT_NE(0, GetObjectW(font, sizeof(description), &description));
    EXPECT_EQ(20, description.lfHeight);
    SetWindowTextW(m_box, std::wstring(300, L'x').c_str());
    EXPECT_EQ(259u, ui::PathEditText(m_box).size());
}

}  // namespace
