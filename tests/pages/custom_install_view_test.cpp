// The location page in a window of the test: its path box comes and goes with the page and keeps
// the text, the first change of the process is not typing, later changes are, and the agreement
// enables and disables its install button.
#include <gtest/gtest.h>

#include <memory>

#include "app/install_controller.h"
#include "ui/pages/custom_install_view.h"
#include "ui/pages/path_edit_box.h"
#include "ui/toolkit/check_button.h"
#include "ui/toolkit/text_button.h"

namespace {

using ui::FolderOrigin;

// The root of a widget tree in a plain window, standing in for the setup window.
class HostRoot : public ui::Widget {
public:
    explicit HostRoot(HWND window) { SetHostWindow(window); }
};

class LocationPage : public testing::Test {
protected:
    void SetUp() override {
        m_window = CreateWindowExW(0, L"STATIC", L"host", WS_POPUP, 0, 0, 590, 440, nullptr, nullptr,
                                   GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(nullptr, m_window);
        m_root = std::make_unique<HostRoot>(m_window);
        m_root->SetGeometry(0, 0, 590, 440);
        m_page = m_root->AddChild(std::make_unique<ui::CustomInstallView>(nullptr, &m_controller));
        m_page->SetGeometry(0, 298, 590, 142);
        m_page->Setup(L"C:\\Users\\u\\Corvane\\Pelora\\App", true);
    }
    void TearDown() override {
        m_root.reset();
        if (m_window) DestroyWindow(m_window);
    }

    // What the dialog passes on for a change of the box's text.
    int32_t Type(const wchar_t* text) {
        SetWindowTextW(m_page->EditBox(), text);
        return m_page->OnEditCommand(MAKEWPARAM(ui::kPathEditId, EN_CHANGE),
                                     reinterpret_cast<LPARAM>(m_page->EditBox()));
    }

    InstallController m_controller;
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

TEST_F(LocationPage, TheFirstChangeOfTheProcessIsNotTypingButTheNextOneIs) {
    if (!ui::FirstChangePending()) GTEST_SKIP() << "another test of this run saw the first change";
    EXPECT_EQ(1, Type(L"D:\\Own"));
    EXPECT_EQ(FolderOrigin::Initial, m_page->Origin()) << "the box's first report counted as typing";
    EXPECT_EQ(L"D:\\Own", m_page->FolderText());
    EXPECT_EQ(L"D:\\Own\\App", m_page->ChosenFolder());
    EXPECT_EQ(1, Type(L"D:\\Apps"));
    EXPECT_EQ(FolderOrigin::Typed, m_page->Origin());
}

TEST_F(LocationPage, ATypedFolderGetsTheProductFolderAndOtherCommandsAreNotThePages) {
    ui::TakeFirstChangeLatch();
    EXPECT_EQ(1, Type(L"D:\\Apps"));
    EXPECT_EQ(FolderOrigin::Typed, m_page->Origin());
    EXPECT_EQ(L"D:\\Apps", m_page->FolderText());
    EXPECT_EQ(L"D:\\Apps\\Pelora", m_page->ChosenFolder());

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
    ui::TakeFirstChangeLatch();
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
