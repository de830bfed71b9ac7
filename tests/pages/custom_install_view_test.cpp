// The location page in a window of the test that hands the path box's notifications to the page,
// as the setup window does: its path box comes and goes with the page and keeps the text, every
// change the user makes (typed or pasted) is typing while the program's own text is not, the
// quick-launch box starts with the last choice and hands back whatever it shows, and the
// agreement enables and disables its install button.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/install_controller.h"
#include "ui/install_ui_manager.h"
#include "ui/pages/custom_install_view.h"
#include "ui/pages/folder_choice.h"
#include "ui/pages/path_edit_box.h"
#include "ui/toolkit/check_button.h"
#include "ui/toolkit/text_button.h"

namespace {

using ui::FolderOrigin;

constexpr wchar_t kHostClass[] = L"PeloraTestPageHost";

// The root of a widget tree in a plain window, standing in for the setup window.
class HostRoot : public ui::Widget {
public:
    explicit HostRoot(HWND window) { SetHostWindow(window); }
};

// Hands WM_COMMAND to the page kept in the window's user data, as the setup window does.
LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* page = reinterpret_cast<ui::CustomInstallView*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_COMMAND && page) return page->OnEditCommand(wParam, lParam);
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateHostWindow() {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = HostProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kHostClass;
    RegisterClassW(&windowClass);  // fails harmlessly from the second test on
    return CreateWindowExW(0, kHostClass, L"host", WS_POPUP, 0, 0, 590, 440, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

// Puts `text` on the clipboard as Unicode text; false when the clipboard cannot be had.
bool PutOnClipboard(HWND owner, const std::wstring& text) {
    if (!OpenClipboard(owner)) return false;
    EmptyClipboard();
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    bool put = false;
    if (memory) {
        memcpy(GlobalLock(memory), text.c_str(), bytes);
        GlobalUnlock(memory);
        put = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
        if (!put) GlobalFree(memory);
    }
    CloseClipboard();
    return put;
}

class LocationPage : public testing::Test {
protected:
    void SetUp() override {
        m_window = CreateHostWindow();
        ASSERT_NE(nullptr, m_window);
        m_root = std::make_unique<HostRoot>(m_window);
        m_root->SetGeometry(0, 0, 590, 440);
        m_page = m_root->AddChild(std::make_unique<ui::CustomInstallView>(nullptr, &m_controller));
        m_page->SetGeometry(0, 298, 590, 142);
        SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(m_page));
        m_page->Setup(L"C:\\Users\\u\\Corvane\\Pelora\\App", true, m_bQuickLaunchPreset);
    }
    void TearDown() override {
        if (m_window) SetWindowLongPtrW(m_window, GWLP_USERDATA, 0);
        m_root.reset();
        if (m_window) DestroyWindow(m_window);
    }

    // The user selects the whole text and types `text` over it, key by key.
    void Type(const std::wstring& text) {
        SendMessageW(m_page->EditBox(), EM_SETSEL, 0, -1);
        for (wchar_t key : text) SendMessageW(m_page->EditBox(), WM_CHAR, key, 1);
    }

    // The quick-launch box's choice is handed back to the process's UI manager.
    InstallUIManager m_manager;
    InstallController m_controller;
    bool m_bQuickLaunchPreset = true;
    HWND m_window = nullptr;
    std::unique_ptr<HostRoot> m_root;
    ui::CustomInstallView* m_page = nullptr;
};

TEST_F(LocationPage, ThePathBoxSitsOnThePageBesideTheBrowseButton) {
    HWND box = m_page->EditBox();
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(m_window, GetParent(box));
    RECT rect = {};
    GetWindowRect(box, &rect);
    MapWindowPoints(nullptr, m_window, reinterpret_cast<POINT*>(&rect), 2);
    EXPECT_EQ(20, rect.left);
    EXPECT_EQ(298 + 46, rect.top);
    EXPECT_EQ(590 - 78 - 42, rect.right - rect.left);
    EXPECT_EQ(36, rect.bottom - rect.top);
    EXPECT_EQ(L"C:\\Users\\u\\Corvane\\Pelora\\App", ui::PathEditText(box));
}

TEST_F(LocationPage, APasteOverTheWholeTextIsTheUsersFolder) {
    ASSERT_TRUE(PutOnClipboard(m_window, L"D:\\Apps"));
    SendMessageW(m_page->EditBox(), EM_SETSEL, 0, -1);
    SendMessageW(m_page->EditBox(), WM_PASTE, 0, 0);
    EXPECT_EQ(L"D:\\Apps", ui::PathEditText(m_page->EditBox()));
    EXPECT_EQ(FolderOrigin::Typed, m_page->Origin()) << "the user's paste did not count as typing";
    EXPECT_EQ(L"D:\\Apps", m_page->FolderText());
    EXPECT_EQ(L"D:\\Apps\\Pelora\\1.14.301", ui::CombinePath(m_page->ChosenFolder(), L"1.14.301"));
}

TEST_F(LocationPage, TheProgramsOwnTextIsNotTypingWhateverCameBefore) {
    m_page->SetFolderText(L"C:\\Fallback");
    EXPECT_EQ(FolderOrigin::Initial, m_page->Origin()) << "the program's own text counted as typing";
    EXPECT_EQ(L"C:\\Fallback", m_page->FolderText());
    EXPECT_EQ(L"C:\\Fallback\\App", m_page->ChosenFolder());

    Type(L"D:\\Apps");
    EXPECT_EQ(FolderOrigin::Typed, m_page->Origin());
    m_page->SetFolderText(L"D:\\Other");
    EXPECT_EQ(FolderOrigin::Typed, m_page->Origin()) << "the program's own text changed what the user did";
    EXPECT_EQ(L"D:\\Other", m_page->FolderText());
}

TEST_F(LocationPage, ATypedFolderGetsTheProductFolderAndOtherCommandsAreNotThePages) {
    Type(L"D:\\Apps");
    EXPECT_EQ(FolderOrigin::Typed, m_page->Origin());
    EXPECT_EQ(L"D:\\Apps", m_page->FolderText());
    EXPECT_EQ(L"D:\\Apps\\Pelora", m_page->ChosenFolder());

    EXPECT_EQ(1, m_page->OnEditCommand(MAKEWPARAM(ui::kPathEditId, EN_CHANGE),
                                       reinterpret_cast<LPARAM>(m_page->EditBox())));
    EXPECT_EQ(0, m_page->OnEditCommand(MAKEWPARAM(ui::kPathEditId, EN_SETFOCUS),
                                       reinterpret_cast<LPARAM>(m_page->EditBox())));
    EXPECT_EQ(0, m_page->OnEditCommand(MAKEWPARAM(IDCANCEL, 0), 0));
    EXPECT_EQ(L"D:\\Apps", m_page->FolderText());
}

TEST_F(LocationPage, AnUntouchedInitialFolderEndingInAppIsTheProductRoot) {
    EXPECT_EQ(FolderOrigin::Initial, m_page->Origin());
    EXPECT_EQ(L"C:\\Users\\u\\Corvane\\Pelora\\App", m_page->ChosenFolder());
}

TEST_F(LocationPage, HidingKeepsTheTextAndShowingBringsTheBoxBack) {
    Type(L"E:\\Games");
    m_page->SetVisible(false);
    EXPECT_EQ(nullptr, m_page->EditBox()) << "a hidden page keeps no path box";
    EXPECT_EQ(L"E:\\Games", m_page->FolderText());
    m_page->SetVisible(true);
    ASSERT_NE(nullptr, m_page->EditBox());
    EXPECT_EQ(L"E:\\Games", ui::PathEditText(m_page->EditBox()));
}

TEST_F(LocationPage, TheAgreementEnablesAndDisablesTheInstallButton) {
    ui::TextButton* install = m_page->InstallButton();
    EXPECT_EQ(ui::ButtonState::Normal, install->State());
    m_page->SetAgreed(false);
    EXPECT_EQ(ui::ButtonState::Disabled, install->State());
    EXPECT_EQ(0x4DFFFFFFu, install->Color());
    m_page->SetAgreed(true);
    EXPECT_EQ(ui::ButtonState::Normal, install->State());
    EXPECT_EQ(0xFFFFFFFFu, install->Color());
}

TEST_F(LocationPage, TheQuickLaunchChoiceFollowsTheBoxHoweverItWasFlipped) {
    ui::CheckButton* box = m_page->QuickLaunchBox();
    ASSERT_TRUE(box->IsChecked());
    EXPECT_TRUE(m_manager.QuickLaunchChoice());
    // Window coordinates: the page lies at (0, 298), the box at (20, 110) of it.
    m_root->DispatchMouse(ui::MouseAction::Press, 20 + 6, 298 + 110 + 6);
    m_root->DispatchMouse(ui::MouseAction::Release, 300, 298 + 20);
    EXPECT_FALSE(box->IsChecked());
    EXPECT_FALSE(m_manager.QuickLaunchChoice()) << "the box shows unchecked, the choice stayed checked";
    box->Toggle();
    EXPECT_TRUE(m_manager.QuickLaunchChoice());
}

// The page of a run whose last window left the quick-launch box unchecked.
class LocationPageAfterAnUncheckedBox : public LocationPage {
protected:
    void SetUp() override {
        m_bQuickLaunchPreset = false;
        LocationPage::SetUp();
    }
};

TEST_F(LocationPageAfterAnUncheckedBox, TheBoxStartsWithTheLastChoice) {
    EXPECT_FALSE(m_page->QuickLaunchBox()->IsChecked());
    EXPECT_FALSE(m_manager.QuickLaunchChoice());
    m_page->QuickLaunchBox()->Toggle();
    EXPECT_TRUE(m_manager.QuickLaunchChoice());
}

TEST_F(LocationPage, AReplacementFolderIsShownInTheBox) {
    m_page->SetFolderText(L"C:\\caller");
    EXPECT_EQ(L"C:\\caller", ui::PathEditText(m_page->EditBox()));
    m_page->SetVisible(false);
    m_page->SetFolderText(L"C:\\other");
    EXPECT_EQ(L"C:\\other", m_page->FolderText());
    m_page->SetVisible(true);
    EXPECT_EQ(L"C:\\other", ui::PathEditText(m_page->EditBox()));
}

}  // namespace
