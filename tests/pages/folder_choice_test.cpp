// The folder the location page turns its text into, and the text the welcome page starts from.
#include <gtest/gtest.h>

#include "ui/pages/folder_choice.h"

namespace {

using ui::ChosenFolder;
using ui::FolderOrigin;

TEST(ChosenFolder, ATypedFolderGetsTheProductFolderBelowIt) {
    EXPECT_EQ(L"D:\\Apps\\Pelora", ChosenFolder(L"D:\\Apps", FolderOrigin::Typed));
    EXPECT_EQ(L"D:\\Apps\\Pelora", ChosenFolder(L"D:\\Apps\\", FolderOrigin::Typed));
    // Even a typed folder ending in App is a place the user wants the product below.
    EXPECT_EQ(L"D:\\App\\Pelora", ChosenFolder(L"D:\\App", FolderOrigin::Typed));
}

TEST(ChosenFolder, AProductRootEndingInAppIsTakenAsItIs) {
    EXPECT_EQ(L"C:\\Users\\u\\Corvane\\Pelora\\App",
              ChosenFolder(L"C:\\Users\\u\\Corvane\\Pelora\\App", FolderOrigin::Initial));
    EXPECT_EQ(L"D:\\Apps\\Pelora\\App", ChosenFolder(L"D:\\Apps\\Pelora\\App", FolderOrigin::Browsed));
}

TEST(ChosenFolder, AnyOtherBrowsedOrInitialFolderGetsApp) {
    EXPECT_EQ(L"D:\\Apps\\Pelora\\App", ChosenFolder(L"D:\\Apps\\Pelora", FolderOrigin::Browsed));
    EXPECT_EQ(L"D:\\Root\\App", ChosenFolder(L"D:\\Root", FolderOrigin::Initial));
    // The comparison is exact: "app" is not the product's folder.
    EXPECT_EQ(L"D:\\app\\App", ChosenFolder(L"D:\\app", FolderOrigin::Initial));
    // A root or a trailing backslash has no last component.
    EXPECT_EQ(L"D:\\App", ChosenFolder(L"D:\\", FolderOrigin::Browsed));
    EXPECT_EQ(L"D:\\App\\App", ChosenFolder(L"D:\\App\\", FolderOrigin::Initial));
}

TEST(ChosenFolder, DotsAreResolvedWhenJoining) {
    EXPECT_EQ(L"D:\\Other\\Pelora", ChosenFolder(L"D:\\Apps\\..\\Other", FolderOrigin::Typed));
    EXPECT_EQ(L"D:\\Apps\\Pelora", ChosenFolder(L"D:\\Apps\\.", FolderOrigin::Typed));
}

TEST(ChosenFolder, AFolderTooLongForAWindowsPathGivesNothing) {
    const std::wstring deep = L"D:\\" + std::wstring(255, L'x');
    EXPECT_EQ(L"", ChosenFolder(deep, FolderOrigin::Typed)) << "a cut-off path would name another folder";
}

TEST(LastPathComponent, IsThePartAfterTheLastBackslash) {
    EXPECT_EQ(L"App", ui::LastPathComponent(L"C:\\a\\App"));
    EXPECT_EQ(L"App", ui::LastPathComponent(L"App"));
    EXPECT_EQ(L"", ui::LastPathComponent(L"C:\\a\\"));
    EXPECT_EQ(L"", ui::LastPathComponent(L"C:"));
    EXPECT_EQ(L"", ui::LastPathComponent(L""));
}

TEST(FolderTextOf, ShowsTheFolderAboveTheVersionFolder) {
    EXPECT_EQ(L"C:\\A\\B", ui::FolderTextOf(L"C:\\A\\B\\1.14.301"));
    EXPECT_EQ(L"C:\\A\\B", ui::FolderTextOf(L"C:\\A\\B\\"));
    EXPECT_EQ(L"C:", ui::FolderTextOf(L"C:\\1.14.301"));
    EXPECT_EQ(L"", ui::FolderTextOf(L""));
}

}  // namespace
