// The file layer under every deletion: folders known by the object on disk rather than by the
// spelling of their path, and deletions that reach only the objects that were checked, whatever
// another program renames or swaps meanwhile.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "deploy/file_system.h"
#include "deploy/files/held_folder.h"
#include "deploy/files/path_identity.h"
#include "deploy/files/tree_deletion.h"
#include "deploy/install_paths.h"
#include "deploy_test_support.h"

namespace {

std::wstring ShortPath(const std::wstring& path) {
    wchar_t buffer[MAX_PATH] = {};
    const DWORD length = GetShortPathNameW(path.c_str(), buffer, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::wstring() : std::wstring(buffer, length);
}

std::wstring UpperCase(std::wstring text) {
    CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

// {scratch}\App\1.14.301\Bin\PL.exe: a version folder whose name is no 8.3 name.
struct VersionTree {
    explicit VersionTree(const ScratchFolder& scratch)
        : root(scratch / L"App"), version(root + L"\\1.14.301"), bin(version + L"\\Bin") {
        WriteTestFile(bin + L"\\PL.exe", 10);
        WriteTestFile(scratch / L"App2\\1.14.301\\Bin\\PL.exe", 10);
    }
    std::wstring root, version, bin;
};

TEST(PathIdentity, EverySpellingOfAFolderIsThatFolder) {
    ScratchFolder scratch;
    VersionTree tree(scratch);
    const std::wstring shortName = ShortPath(tree.version);
    ASSERT_FALSE(shortName.empty());
    EXPECT_NE(UpperCase(shortName), UpperCase(tree.version)) << "\"1.14.301\" has no 8.3 form of its own";
    for (const std::wstring& spelling :
         {UpperCase(tree.version), tree.version + L"\\", tree.version + L"\\.", tree.bin + L"\\..",
          tree.root + L"/1.14.301", shortName, tree.root + L"\\..\\App\\1.14.301"}) {
        EXPECT_TRUE(files::IsSameObject(spelling, tree.version)) << std::string(spelling.begin(), spelling.end());
        EXPECT_TRUE(files::IsSameOrInside(tree.bin, spelling));
    }
    EXPECT_FALSE(files::IsSameObject(tree.root, tree.version));
    EXPECT_FALSE(files::IsSameObject(tree.bin, tree.version));
    EXPECT_FALSE(files::IsSameObject(scratch / L"App2\\1.14.301", tree.version));
    // A relative or device path names no folder the setup can be sure of.
    EXPECT_FALSE(files::IsSameObject(L"1.14.301", tree.version));
    EXPECT_FALSE(files::IsSameObject(L"\\\\?\\" + tree.version, tree.version));
}

TEST(PathIdentity, InsideMeansBelowTheSameObjectNotASharedBeginning) {
    ScratchFolder scratch;
    VersionTree tree(scratch);
    EXPECT_TRUE(files::IsSameOrInside(tree.bin + L"\\PL.exe", UpperCase(tree.root) + L"\\"));
    EXPECT_TRUE(files::IsSameOrInside(tree.bin + L"\\not-yet\\there.dll", tree.version));
    EXPECT_FALSE(files::IsSameOrInside(tree.root, tree.version));
    EXPECT_FALSE(files::IsSameOrInside(scratch / L"App2\\1.14.301", tree.root)) << "\"App2\" begins like \"App\"";
    // Nothing of either exists: the full, case-folded forms decide.
    EXPECT_TRUE(files::IsSameOrInside(scratch / L"new\\a\\b", scratch / L"NEW\\A\\"));
    EXPECT_FALSE(files::IsSameOrInside(scratch / L"new\\ab", scratch / L"new\\a"));
    EXPECT_TRUE(files::IsSameObject(scratch / L"new\\x\\..\\a", scratch / L"NEW\\A"));
}

TEST(PathIdentity, TheFullFormExpandsShortNamesOfTheExistingPartOnly) {
    ScratchFolder scratch;
    VersionTree tree(scratch);
    const std::wstring full = files::FullPath(ShortPath(tree.version) + L"\\Missing\\..\\Later");
    EXPECT_EQ(tree.version + L"\\Later", full);
    EXPECT_EQ(L"", files::FullPath(L"C:"));
    EXPECT_EQ(L"C:\\", files::FullPath(L"C:\\"));
}

// A product folder of the scratch folder: it holds the install manifest.
std::wstring ProductFolderWithOldVersion(const ScratchFolder& scratch) {
    const std::wstring product = scratch / L"Product";
    WriteTestFile(product + L"\\PeloraInstall.xml", 12);
    WriteTestFile(product + L"\\Old\\Bin\\Pelora.exe", 30);
    WriteTestFile(product + L"\\Old\\Bin\\Locale\\zh.dat", 5);
    WriteTestFile(product + L"\\Old\\readme.txt", 7);
    SetFileAttributesW((product + L"\\Old\\readme.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    return product;
}

struct RenameAttempts {
    std::vector<std::wstring> renamed;  // what another program could rename during the deletion
    std::vector<DWORD> errors;
};
RenameAttempts g_attempts;

// What a hostile program of the same user tries at the worst moment: the folder that is being
// emptied, and the product's folder above it, are moved away to make room for a link.
void TryToSwapTheFolder(const std::wstring& folder) {
    for (const std::wstring& path : {folder, ParentFolder(folder)}) {
        std::wstring from = WithoutTrailingBackslash(path);
        if (MoveFileW(from.c_str(), (from + L".moved").c_str())) {
            g_attempts.renamed.push_back(from);
            MoveFileW((from + L".moved").c_str(), from.c_str());
        } else {
            g_attempts.errors.push_back(GetLastError());
        }
    }
}

TEST(HeldDeletion, NeitherTheFolderBeingEmptiedNorTheProductFolderCanBeRenamedMeanwhile) {
    ScratchFolder scratch;
    const std::wstring product = ProductFolderWithOldVersion(scratch);
    g_attempts = RenameAttempts();
    files::SetDeletionPause(TryToSwapTheFolder);
    const bool deleted = DeleteFolderTree(product + L"\\Old");
    files::SetDeletionPause(nullptr);

    EXPECT_TRUE(deleted);
    EXPECT_FALSE(FileOrFolderExists(product + L"\\Old"));
    EXPECT_TRUE(FileExists(product + L"\\PeloraInstall.xml"));
    EXPECT_TRUE(g_attempts.renamed.empty()) << "renamed while held: "
                                            << std::string(g_attempts.renamed[0].begin(), g_attempts.renamed[0].end());
    // Each folder is paused on once (Old, Bin, Locale), with two attempts each.
    ASSERT_EQ(6u, g_attempts.errors.size());
    for (DWORD error : g_attempts.errors) EXPECT_TRUE(error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED) << error;
}

TEST(HeldDeletion, AnEntrySwappedAfterItWasListedIsLeftAlone) {
    ScratchFolder scratch;
    const std::wstring product = ProductFolderWithOldVersion(scratch);
    const std::wstring bin = product + L"\\Old\\Bin";
    files::HeldFolder held = files::HeldFolder::Open(bin, product);
    ASSERT_TRUE(held.IsValid()) << std::string(held.RefusedAt().begin(), held.RefusedAt().end());
    files::FolderEntry file;
    files::FolderEntry folder;
    ASSERT_TRUE(held.FindEntry(L"pelora.EXE", file));
    ASSERT_TRUE(held.FindEntry(L"Locale", folder));

    // Between the look and the deletion, another program puts its own file and folder under the
    // listed names: the checked objects are gone, what now bears their names is somebody else's.
    ASSERT_TRUE(MoveFileW((bin + L"\\Pelora.exe").c_str(), (scratch / L"elsewhere.exe").c_str()));
    WriteTestFile(bin + L"\\Pelora.exe", 3, 'u');
    ASSERT_TRUE(MoveFileW((bin + L"\\Locale").c_str(), (scratch / L"LocaleElsewhere").c_str()));
    WriteTestFile(bin + L"\\Locale\\users.dat", 4, 'u');
    const std::string theirFile = ReadTestFile(bin + L"\\Pelora.exe");
    const std::string theirData = ReadTestFile(bin + L"\\Locale\\users.dat");
    ASSERT_EQ(3u, theirFile.size());

    EXPECT_FALSE(files::DeleteEntry(held, file));
    EXPECT_FALSE(files::DeleteEntry(held, folder));
    EXPECT_EQ(theirFile, ReadTestFile(bin + L"\\Pelora.exe"));
    EXPECT_EQ(theirData, ReadTestFile(bin + L"\\Locale\\users.dat"));

    // Looked at again, the entries are what the folder holds now, and they go.
    ASSERT_TRUE(held.FindEntry(L"Pelora.exe", file));
    EXPECT_TRUE(files::DeleteEntry(held, file));
    EXPECT_FALSE(FileOrFolderExists(bin + L"\\Pelora.exe"));
}

TEST(HeldDeletion, ReadOnlyFilesAndNestedFoldersGoAndAnEmptyFolderGoesOnlyWhenEmpty) {
    ScratchFolder scratch;
    const std::wstring product = ProductFolderWithOldVersion(scratch);
    EXPECT_FALSE(RemoveEmptyFolder(product + L"\\Old"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_DIR_NOT_EMPTY), GetLastError());
    EXPECT_TRUE(FileExists(product + L"\\Old\\readme.txt"));

    EXPECT_TRUE(DeleteFolderTree(product + L"\\Old"));
    EXPECT_FALSE(FileOrFolderExists(product + L"\\Old"));

    CreateDirectoryW((product + L"\\Empty").c_str(), nullptr);
    EXPECT_TRUE(RemoveEmptyFolder(product + L"\\Empty"));
    EXPECT_FALSE(FileOrFolderExists(product + L"\\Empty"));
}

}  // namespace
