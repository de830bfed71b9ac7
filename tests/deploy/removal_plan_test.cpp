#include <gtest/gtest.h>

#include <set>

#include "deploy/file_system.h"
#include "deploy/removal_plan.h"
#include "deploy_test_support.h"
#include "removal_test_product.h"

namespace {

class RemovalPlanTest : public ::testing::Test {
protected:
    std::wstring VersionFolder() const { return m_scratch / L"App\\1.14.301"; }

    // Installs a small product the way the setup does, so the plan reads a manifest the real
    // deployer wrote.
    void InstallProduct() {
        ASSERT_TRUE(InstallTestProduct(m_scratch / L"staging", VersionFolder(),
                                       {{L"Bin\\Pelora.exe", 200}, {L"Bin\\PL.exe", 100},
                                        {L"Misc\\CVSSO\\CVSSO\\cvsso.ini", 30}, {L"Users\\1001\\seed.dat", 5},
                                        {L"WMSysPr9.prx", 10}}));
    }

    // A manifest as somebody may have edited it: `inner` sits inside the root folder element.
    void WriteManifest(const std::string& inner) {
        CreateDirectoryW((m_scratch / L"App").c_str(), nullptr);
        CreateDirectoryW(VersionFolder().c_str(), nullptr);
        ASSERT_TRUE(WriteText(VersionFolder() + L"\\PeloraInstall.xml",
                  "<?xml version=\"1.0\" ?>\r\n<folder name=\"Pelora\" size=\"10\">\r\n" + inner + "</folder>\r\n"));
    }

    ScratchFolder m_scratch;
};

TEST_F(RemovalPlanTest, ListsEveryInstalledEntryWithFilesBeforeTheirFolders) {
    InstallProduct();
    RemovalPlan plan;
    std::wstring problem;
    ASSERT_TRUE(ReadRemovalPlan(VersionFolder(), L"", plan, problem)) << problem;

    std::set<std::wstring> seen;
    for (const RemovalEntry& entry : plan.entries) {
        ASSERT_EQ(0u, entry.path.rfind(VersionFolder() + L"\\", 0)) << "inside the version folder";
        EXPECT_EQ(entry.isFolder, FolderExists(entry.path)) << entry.path;
        // Whatever lies below an entry came before it.
        for (const std::wstring& earlier : seen) EXPECT_NE(0u, entry.path.rfind(earlier + L"\\", 0)) << earlier;
        seen.insert(entry.path);
    }
    EXPECT_EQ(11u, plan.entries.size()) << "5 files, 6 folders (Bin, Misc, CVSSO, CVSSO, Users, 1001)";
    EXPECT_EQ(345u, plan.totalBytes);
    EXPECT_EQ(0u, seen.count(VersionFolder() + L"\\PeloraInstall.xml")) << "the manifest is not its own entry";
}

TEST_F(RemovalPlanTest, KeepsTheUsersFolderOutOfThePlanWhenAsked) {
    InstallProduct();
    RemovalPlan plan;
    std::wstring problem;
    ASSERT_TRUE(ReadRemovalPlan(VersionFolder(), L"users", plan, problem)) << problem;
    for (const RemovalEntry& entry : plan.entries)
        EXPECT_EQ(std::wstring::npos, entry.path.find(L"\\Users")) << entry.path;
    EXPECT_EQ(8u, plan.entries.size());
    EXPECT_EQ(340u, plan.totalBytes);
}

TEST_F(RemovalPlanTest, OnlyAUsersFolderDirectlyInTheVersionFolderIsKept) {
    WriteManifest("<folder name=\"Bin\" size=\"1\"><folder name=\"Users\" size=\"1\">"
                  "<file name=\"a.dll\" size=\"1\" /></folder></folder>\r\n");
    RemovalPlan plan;
    std::wstring problem;
    ASSERT_TRUE(ReadRemovalPlan(VersionFolder(), L"Users", plan, problem)) << problem;
    ASSERT_EQ(3u, plan.entries.size());
    EXPECT_EQ(VersionFolder() + L"\\Bin\\Users\\a.dll", plan.entries[0].path);
}

// Each of these would lead the removal out of the version folder, or to another name than the
// one written: the whole plan is refused and nothing is listed.
TEST_F(RemovalPlanTest, RefusesEveryNameThatIsNotAPlainEntryName) {
    const char* const hostile[] = {
        "<file name=\"..\\..\\..\\..\\windows\\win.ini\" size=\"1\" />",
        "<file name=\"C:\\windows\\win.ini\" size=\"1\" />",
        "<folder name=\"..\" size=\"1\"><file name=\"x\" size=\"1\" /></folder>",
        "<folder name=\".\" size=\"1\" />",
        "<file name=\"Bin/../../x\" size=\"1\" />",
        "<file name=\"PL.exe:stream\" size=\"1\" />",
        "<file name=\"*.dll\" size=\"1\" />",
        "<file name=\"PL.exe.\" size=\"1\" />",
        "<file name=\"PL.exe \" size=\"1\" />",
        "<file name=\"\" size=\"1\" />",
        "<file size=\"1\" />",
        "<link name=\"Bin\" size=\"1\" />",
        "<folder name=\"Bin\" size=\"1\"><file name=\"a\tb\" size=\"1\" /></folder>",
    };
    for (const char* inner : hostile) {
        WriteManifest(std::string("<file name=\"ok.dll\" size=\"1\" />") + inner);
        RemovalPlan plan;
        std::wstring problem;
        EXPECT_FALSE(ReadRemovalPlan(VersionFolder(), L"", plan, problem)) << inner;
        EXPECT_TRUE(plan.entries.empty()) << inner;
        EXPECT_FALSE(problem.empty()) << inner;
    }
}

TEST_F(RemovalPlanTest, RefusesAMissingOrBrokenManifestAndOneNestedTooDeep) {
    RemovalPlan plan;
    std::wstring problem;
    EXPECT_FALSE(ReadRemovalPlan(VersionFolder(), L"", plan, problem)) << "no manifest";
    EXPECT_NE(std::wstring::npos, problem.find(L"PeloraInstall.xml"));

    WriteManifest("<file name=\"a\" size=\"1\"");
    EXPECT_FALSE(ReadRemovalPlan(VersionFolder(), L"", plan, problem)) << "not well formed";

    std::string deep;
    for (int i = 0; i < 70; ++i) deep += "<folder name=\"d\" size=\"0\">";
    for (int i = 0; i < 70; ++i) deep += "</folder>";
    WriteManifest(deep);
    EXPECT_FALSE(ReadRemovalPlan(VersionFolder(), L"", plan, problem)) << "70 levels";
    EXPECT_TRUE(plan.entries.empty());
}

TEST_F(RemovalPlanTest, AcceptsNamesWithBlanksDotsAndChineseInside) {
    WriteManifest("<folder name=\"my data.v2\" size=\"1\"><file name=\"..hidden\" size=\"1\" /></folder>"
                  "<file name=\" lead\" size=\"2\" />\r\n");
    RemovalPlan plan;
    std::wstring problem;
    ASSERT_TRUE(ReadRemovalPlan(VersionFolder(), L"", plan, problem)) << problem;
    ASSERT_EQ(3u, plan.entries.size());
    EXPECT_EQ(VersionFolder() + L"\\my data.v2\\..hidden", plan.entries[0].path);
    EXPECT_TRUE(plan.entries[1].isFolder);
    EXPECT_EQ(3u, plan.totalBytes);
}

}  // namespace
