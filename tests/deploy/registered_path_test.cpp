// How the uninstaller reads a path out of a registry value: the path in the value's text, and
// whether it is this install's file or folder whatever its spelling.
#include <gtest/gtest.h>

#include "deploy/registered_path.h"
#include "deploy_test_support.h"

namespace {

TEST(PathInValue, QuotesAreTakenOffAndWhatFollowsThemLeftOut) {
    EXPECT_EQ(L"C:\\Program Files\\Pelora\\PeloraUninst.exe",
              PathInValue(L"\"C:\\Program Files\\Pelora\\PeloraUninst.exe\""));
    EXPECT_EQ(L"C:\\Program Files\\Pelora\\PeloraUninst.exe",
              PathInValue(L"  \"C:\\Program Files\\Pelora\\PeloraUninst.exe\" /mode:noui"));
    // An unquoted value is the whole path, blanks and all, as older setups wrote it.
    EXPECT_EQ(L"C:\\Program Files\\Pelora\\PeloraUninst.exe",
              PathInValue(L"C:\\Program Files\\Pelora\\PeloraUninst.exe"));
    EXPECT_EQ(L"C:\\App", PathInValue(L"\"C:\\App")) << "a missing closing quote ends with the text";
    EXPECT_EQ(L"", PathInValue(L""));
    EXPECT_EQ(L"", PathInValue(L"   "));
    EXPECT_EQ(L"", PathInValue(L"\"\" C:\\App"));
}

TEST(ProgramOf, TheFirstTokenOfACommandLine) {
    EXPECT_EQ(L"C:\\Program Files\\Pelora\\PL.exe", ProgramOf(L"\"C:\\Program Files\\Pelora\\PL.exe\" \"%1\""));
    EXPECT_EQ(L"C:\\App\\PL.exe", ProgramOf(L" C:\\App\\PL.exe /startsrc:boot"));
    EXPECT_EQ(L"C:\\App\\PL.exe", ProgramOf(L"C:\\App\\PL.exe"));
    // Unquoted, a blank ends the program: "C:\Program" is what Windows would try to start.
    EXPECT_EQ(L"C:\\Program", ProgramOf(L"C:\\Program Files\\Pelora\\PL.exe /startsrc:boot"));
    EXPECT_EQ(L"", ProgramOf(L""));
}

// {scratch}\Pelora Apps\PL.exe and a file of the same name in a neighbouring folder.
struct LauncherFiles {
    explicit LauncherFiles(const ScratchFolder& scratch)
        : root(scratch / L"Pelora Apps"), launcher(root + L"\\PL.exe"), other(scratch / L"Pelora Apps 2\\PL.exe") {
        WriteTestFile(launcher, 10);
        WriteTestFile(other, 10);
    }
    std::wstring root, launcher, other;
};

TEST(NamesSamePath, EverySpellingOfAnExistingFileIsThatFile) {
    ScratchFolder scratch;
    LauncherFiles files(scratch);
    const std::wstring shortForm = ShortFormOf(files.launcher);
    ASSERT_FALSE(shortForm.empty());
    ASSERT_EQ(std::wstring::npos, shortForm.find(L' ')) << "\"Pelora Apps\" has an 8.3 form of its own";
    for (const std::wstring& spelling : {shortForm, UpperCaseWithSlashes(files.launcher),
                                         files.root + L"\\.\\PL.exe", scratch / L"x\\..\\Pelora Apps\\PL.exe"}) {
        EXPECT_TRUE(NamesSamePath(spelling, files.launcher)) << std::string(spelling.begin(), spelling.end());
        EXPECT_TRUE(NamesSamePath(files.launcher, spelling));
    }
    EXPECT_FALSE(NamesSamePath(files.other, files.launcher)) << "same name, another folder";
    EXPECT_FALSE(NamesSamePath(files.root, files.launcher));
    // One that exists and one that does not are never the same, whatever their text.
    EXPECT_FALSE(NamesSamePath(files.launcher + L".old", files.launcher));
}

TEST(NamesSamePath, PathsThatDoNotExistCompareByTheirFullText) {
    ScratchFolder scratch;
    const std::wstring gone = scratch / L"Pelora Apps\\1.14.301";
    EXPECT_TRUE(NamesSamePath(UpperCaseWithSlashes(gone), gone));
    EXPECT_TRUE(NamesSamePath(gone + L"\\..\\1.14.301", gone));
    EXPECT_FALSE(NamesSamePath(gone + L"1", gone));
    // The part that exists is read in its long form: an install through a short name whose own
    // folders are gone is still recognised.
    WriteTestFile(scratch / L"Program Files X\\keep.txt", 1);
    const std::wstring shortParent = ShortFormOf(scratch / L"Program Files X");
    ASSERT_FALSE(shortParent.empty());
    EXPECT_TRUE(NamesSamePath(shortParent + L"\\PeloraApps\\1.14.301",
                              scratch / L"Program Files X\\PeloraApps\\1.14.301"));
}

TEST(NamesSamePath, EmptyAndRelativePathsNameNothing) {
    EXPECT_FALSE(NamesSamePath(L"", L""));
    EXPECT_FALSE(NamesSamePath(L"", L"C:\\App"));
    EXPECT_FALSE(NamesSamePath(L"C:\\App", L""));
    EXPECT_FALSE(NamesSamePath(L"App\\PL.exe", L"App\\PL.exe"));
    EXPECT_FALSE(NamesSamePath(L"C:App", L"C:App"));
}

}  // namespace
