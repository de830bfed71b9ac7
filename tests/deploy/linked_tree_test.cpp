// Tree walks over a folder that holds links: tests/deploy/test_linked_trees.py builds an earlier
// install whose version folder holds a folder link ("data") to the user's files elsewhere on the
// drive, and names both places in the environment. Wine shows a
// Linux symbolic link inside the prefix as a reparse point, which is what these routines go by.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include <tinyxml.h>

#include "deploy/file_deployer.h"
#include "deploy/file_system.h"
#include "deploy/files/held_folder.h"
#include "deploy/files/path_links.h"
#include "deploy/locked_file_copy.h"
#include "deploy/product_folder.h"
#include "deploy/install_manifest.h"
#include "deploy/install_paths.h"
#include "deploy_test_support.h"

namespace {

std::wstring FromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::wstring(value, value + std::strlen(value)) : std::wstring();
}

class LinkedTrees : public ::testing::Test {
protected:
    void SetUp() override {
        installed = FromEnvironment("PELORA_LINKED_INSTALL");
        target = FromEnvironment("PELORA_LINK_TARGET");
        if (installed.empty() || target.empty()) GTEST_SKIP() << "needs the links of tests/deploy/test_linked_trees.py";
        ASSERT_TRUE(IsLink(installed + L"\\data")) << "Wine shows the symbolic link as a reparse point";
        ASSERT_FALSE(IsLink(installed + L"\\Bin"));
    }
    std::wstring installed;
    std::wstring target;
};

TEST_F(LinkedTrees, WalksNeitherListNorCountNorCopyWhatALinkLeadsTo) {
    // The installed files: Bin\Pelora.exe (20 bytes) and the manifest (5 bytes).
    int budget = 100;
    EXPECT_EQ(25u, FolderTreeSize(budget, installed));

    TiXmlElement root("folder");
    ManifestScanGaps gaps;
    budget = kManifestEntryBudget;
    EXPECT_EQ(25u, ScanFolder(budget, installed, root, gaps));
    for (const TiXmlElement* child = root.FirstChildElement(); child != nullptr; child = child->NextSiblingElement()) {
        std::wstring name;
        ASSERT_TRUE(ReadManifestName(*child, name));
        EXPECT_TRUE(name == L"Bin" || name == L"PeloraInstall.xml") << "listed: " << std::string(name.begin(), name.end());
    }

    ScratchFolder scratch;
    budget = 50;
    EXPECT_TRUE(CopyFolderTree(installed, scratch / L"copy", budget));
    EXPECT_EQ(20u, SizeOfFile(scratch / L"copy\\Bin\\Pelora.exe"));
    EXPECT_FALSE(FileOrFolderExists(scratch / L"copy\\data"));

    // The link's target holds a "Users" folder; the search does not go there.
    std::wstring found;
    budget = 50;
    EXPECT_FALSE(FindUsersFolder(installed, found, budget));
    EXPECT_TRUE(found.empty());
}

TEST_F(LinkedTrees, NothingIsDeletedMovedOrWrittenThroughALinkOnTheWay) {
    const std::wstring link = installed + L"\\data";
    const std::wstring below = link + L"\\Users\\1";
    EXPECT_EQ(link, files::LinkOnPath(below + L"\\profile.dat"));
    EXPECT_EQ(link, files::LinkOnPath(link));
    EXPECT_EQ(L"", files::LinkOnPath(installed + L"\\Bin\\Pelora.exe"));

    // The manifest above makes the install's folders the product's, but not what a link reaches.
    EXPECT_TRUE(IsProductFolder(installed + L"\\Bin"));
    EXPECT_FALSE(IsProductFolder(link));
    EXPECT_FALSE(IsProductFolder(below));

    files::HeldFolder held = files::HeldFolder::Open(below, installed);
    EXPECT_FALSE(held.IsValid());
    EXPECT_EQ(link, held.RefusedAt());
    EXPECT_STREQ(L"link", held.Reason());

    EXPECT_FALSE(DeleteFolderTree(below));
    EXPECT_FALSE(DeleteFolderTree(link + L"\\Users"));
    EXPECT_FALSE(RemoveEmptyFolder(link));
    EXPECT_FALSE(MoveAside(link + L"\\notes.txt"));
    EXPECT_FALSE(DeleteOrMoveAside(link + L"\\notes.txt"));
    EXPECT_FALSE(CopyLockedFile(installed + L"\\Bin\\Pelora.exe", link + L"\\notes.txt"));
    EXPECT_FALSE(CopyLockedFile(installed + L"\\Bin\\Pelora.exe", link + L"\\new.txt"));
    EXPECT_FALSE(FileOrFolderExists(target + L"\\new.txt"));
    EXPECT_TRUE(FileExists(target + L"\\notes.txt"));
    EXPECT_TRUE(FileExists(target + L"\\Users\\1\\profile.dat"));
}

TEST_F(LinkedTrees, RemovalTakesTheInstallAndLeavesTheLinkTargetsAlone) {
    // Only the manifest and links are left once the files are gone: the folder counts as done.
    FileDeployer deployer(L"", nullptr);
    deployer.SetOldInstallFolder(installed);
    deployer.SetOldManifestPath(installed + L"\\PeloraInstall.xml");
    EXPECT_EQ(1, deployer.RemovePrevious());
    EXPECT_FALSE(FileExists(installed + L"\\Bin\\Pelora.exe"));
    EXPECT_EQ(20u, deployer.BytesRemoved());
    // Whatever is left of the install goes with DeleteFolderTree; the targets never do.
    DeleteFolderTree(installed);
    EXPECT_FALSE(FileExists(installed + L"\\Bin\\Pelora.exe"));
    EXPECT_TRUE(FileExists(target + L"\\notes.txt"));
    EXPECT_TRUE(FileExists(target + L"\\Users\\1\\profile.dat"));
}

}  // namespace
