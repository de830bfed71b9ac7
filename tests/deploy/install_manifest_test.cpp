#include <gtest/gtest.h>

#include <cstdlib>

#include <tinyxml.h>

#include "deploy/file_deployer.h"
#include "deploy/file_system.h"
#include "deploy/install_manifest.h"
#include "deploy/install_paths.h"
#include "diag/ansi_text.h"
#include "deploy_test_support.h"

namespace {

// Compares one manifest element with the folder it describes: every entry on disk is listed once
// with its size, and nothing else is listed. Returns the folder's total.
uint64_t ExpectElementMatchesFolder(const TiXmlElement& element, const std::wstring& folder) {
    uint64_t total = 0;
    size_t listed = 0;
    for (const TiXmlElement* child = element.FirstChildElement(); child != nullptr;
         child = child->NextSiblingElement()) {
        ++listed;
        std::wstring name;
        EXPECT_TRUE(ReadManifestName(*child, name));
        std::wstring path = JoinPath(folder, name);
        if (IsFolderElement(*child)) {
            EXPECT_TRUE(FolderExists(path)) << "listed folder missing on disk";
            uint64_t size = ExpectElementMatchesFolder(*child, path);
            EXPECT_EQ(static_cast<int64_t>(size), ReadManifestSize(*child));
            total += size;
        } else {
            EXPECT_STREQ("file", child->Value());
            EXPECT_TRUE(FileExists(path)) << "listed file missing on disk";
            EXPECT_EQ(static_cast<int64_t>(SizeOfFile(path)), ReadManifestSize(*child));
            total += SizeOfFile(path);
        }
    }
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW(JoinPath(folder, L"*.*").c_str(), &entry);
    size_t onDisk = 0;
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (wcscmp(entry.cFileName, L".") != 0 && wcscmp(entry.cFileName, L"..") != 0 &&
                wcscmp(entry.cFileName, L"PeloraInstall.xml") != 0)
                ++onDisk;
        } while (FindNextFileW(find, &entry));
        FindClose(find);
    }
    EXPECT_EQ(onDisk, listed) << "entries of the folder";
    return total;
}

std::wstring StagedTree(const ScratchFolder& scratch) {
    return scratch / L"staging\\program files\\Corvane\\Pelora";
}

TEST(ManifestFormat, WritesTheDeclarationIndentationAndEmptyElements) {
    ScratchFolder scratch;
    WriteTestFile(StagedTree(scratch) + L"\\Bin\\Pelora.exe", 200);
    FileDeployer deployer(scratch / L"staging", nullptr);
    deployer.SetManifestPath(scratch / L"out\\PeloraInstall.xml");
    CreateFolderPath(scratch / L"out");
    ASSERT_EQ(1, deployer.WriteManifest(true));
    EXPECT_EQ(200u, deployer.TotalBytes());
    EXPECT_EQ(
        "<?xml ?>\r\n"
        "<folder name=\"Pelora\" size=\"200\">\r\n"
        "    <folder name=\"Bin\" size=\"200\">\r\n"
        "        <file name=\"Pelora.exe\" size=\"200\" />\r\n"
        "    </folder>\r\n"
        "</folder>\r\n",
        ReadTestFile(scratch / L"out\\PeloraInstall.xml"));
}

TEST(ManifestFormat, DescribesTheWholeTreeWithSizes) {
    ScratchFolder scratch;
    std::wstring tree = StagedTree(scratch);
    WriteTestFile(tree + L"\\Bin\\Pelora.exe", 200);
    WriteTestFile(tree + L"\\WMSysPr9.prx", 100);
    WriteTestFile(tree + L"\\Misc\\CVSSO\\CVSSO\\a b&c'd.dat", 77);
    WriteTestFile(tree + L"\\Misc\\empty.txt", 0);
    CreateFolderPath(tree + L"\\Empty");
    FileDeployer deployer(scratch / L"staging", nullptr);
    deployer.SetManifestPath(scratch / L"PeloraInstall.xml");
    ASSERT_EQ(1, deployer.WriteManifest(true));

    TiXmlDocument document;
    ASSERT_TRUE(LoadManifest(document, scratch / L"PeloraInstall.xml"));
    const TiXmlElement& root = *document.RootElement();
    EXPECT_STREQ("folder", root.Value());
    EXPECT_STREQ("Pelora", root.Attribute("name"));
    EXPECT_EQ(377, ReadManifestSize(root));
    EXPECT_EQ(377u, ExpectElementMatchesFolder(root, tree));
}

TEST(ManifestFormat, NamesAreStoredInTheAnsiCodePage) {
    std::wstring name = L"caf\u00e9.txt";
    std::string ansi;
    if (!diag::WideToAnsiExact(name, ansi)) GTEST_SKIP() << "the code page of this system has no \u00e9";
    ScratchFolder scratch;
    WriteTestFile(StagedTree(scratch) + L"\\" + name, 5);
    FileDeployer deployer(scratch / L"staging", nullptr);
    deployer.SetManifestPath(scratch / L"PeloraInstall.xml");
    ASSERT_EQ(1, deployer.WriteManifest(true));
    std::string text = ReadTestFile(scratch / L"PeloraInstall.xml");
    EXPECT_NE(std::string::npos, text.find("name=\"" + ansi + "\"")) << text;
    EXPECT_EQ(std::string::npos, text.find("\xc3\xa9")) << "no UTF-8 in the manifest";
}

// A run meant for another code page checks that the system really has it, so that the manifest
// tests below do not quietly repeat themselves in the default one.
TEST(ManifestFormat, RunsInTheCodePageItWasStartedFor) {
    const char* expected = std::getenv("PELORA_EXPECT_ACP");
    if (expected == nullptr || *expected == '\0') GTEST_SKIP() << "no code page requested";
    EXPECT_EQ(static_cast<UINT>(std::atoi(expected)), GetACP());
}

// The reader must give back every name the writer stored, whatever its last byte: ANSI names are
// not UTF-8, and a byte of 0xC2 or more before the closing quote must not swallow it.
TEST(ManifestFormat, EveryAnsiNameIsReadBackAsWritten) {
    const std::string names[] = {"caf\xe9", "\xd3\xb3\xb2\xca", "\xc2", "a\xff", "\xe0\xe1.dll"};
    ScratchFolder scratch;
    const std::wstring path = scratch / L"PeloraInstall.xml";
    TiXmlDocument written;
    written.InsertEndChild(TiXmlDeclaration("", "", ""));
    TiXmlElement* root = written.InsertEndChild(MakeManifestElement("folder", "Pelora", 0))->ToElement();
    for (const std::string& name : names) root->InsertEndChild(MakeManifestElement("file", name, 7));
    ASSERT_TRUE(SaveManifest(written, path));

    TiXmlDocument read;
    ASSERT_TRUE(LoadManifest(read, path)) << ReadTestFile(path);
    const TiXmlElement* child = read.RootElement()->FirstChildElement();
    for (const std::string& name : names) {
        ASSERT_NE(nullptr, child) << "entry after the one before " << name << " is missing";
        ASSERT_NE(nullptr, child->Attribute("name"));
        EXPECT_EQ(name, std::string(child->Attribute("name")));
        EXPECT_EQ(7, ReadManifestSize(*child));
        child = child->NextSiblingElement();
    }
    EXPECT_EQ(nullptr, child);
}

// A whole install and a removal of a tree whose names the code page holds: the removal finds
// every file again by the names the manifest stored.
TEST(ManifestFormat, InstalledNamesOfTheCodePageAreRemovedAgain) {
    const std::wstring names[] = {L"caf\u00e9.txt", L"\u6620\u5f69.dat", L"na\u00efve\u00e9"};
    ScratchFolder scratch;
    int representable = 0;
    for (const std::wstring& name : names) {
        std::string ansi;
        if (!diag::WideToAnsiExact(name, ansi)) continue;
        WriteTestFile(StagedTree(scratch) + L"\\Bin\\" + name, 11);
        ++representable;
    }
    if (representable == 0) GTEST_SKIP() << "the code page of this system holds none of the names";
    const std::wstring target = scratch / L"App\\1.14.301";
    FileDeployer installer(scratch / L"staging", nullptr);
    installer.SetTargetRoot(target);
    installer.SetManifestPath(target + L"\\PeloraInstall.xml");
    ASSERT_EQ(1, installer.Install()) << installer.LastFailedFile();

    FileDeployer remover(scratch / L"staging", nullptr);
    remover.SetOldInstallFolder(target);
    remover.SetOldManifestPath(target + L"\\PeloraInstall.xml");
    ASSERT_EQ(1, remover.RemovePrevious());
    for (const std::wstring& name : names) EXPECT_FALSE(FileExists(target + L"\\Bin\\" + name));
    EXPECT_EQ(static_cast<uint64_t>(11 * representable), remover.BytesRemoved());
}

TEST(ManifestSize, LowBitsAreWrittenSignedAndParsedWithoutSign) {
    TiXmlElement element = MakeManifestElement("file", "big.bin", 3ull << 30);
    EXPECT_STREQ("-1073741824", element.Attribute("size"));
    SetManifestSize(element, 123456);
    EXPECT_EQ(123456, ReadManifestSize(element));
    element.SetAttribute("size", "42 trailing");
    EXPECT_EQ(42, ReadManifestSize(element));
    // Stored 32-bit values above 2^31 come back sign-extended, as existing installs read them.
    element.SetAttribute("size", "3000000000");
    EXPECT_EQ(static_cast<int64_t>(static_cast<int32_t>(3000000000u)), ReadManifestSize(element));
}

TEST(ManifestBudget, FiveThousandEntriesAreListedAndOneMoreFailsTheInstall) {
    ScratchFolder scratch;
    std::wstring tree = StagedTree(scratch);
    // Root + 50 folders + 4949 files = 5000 entries. Files are spread over folders because Wine
    // creates files in a crowded folder slowly.
    for (int folder = 0; folder < 50; ++folder)
        WriteManyFiles(tree + L"\\d" + std::to_wstring(folder), folder < 49 ? 99 : 98);
    FileDeployer deployer(scratch / L"staging", nullptr);
    deployer.SetManifestPath(scratch / L"PeloraInstall.xml");
    EXPECT_EQ(1, deployer.WriteManifest(true));
    EXPECT_EQ(4949u, deployer.TotalBytes());
    EXPECT_TRUE(deployer.LastFailedFile().empty());

    // One more file would be left out of the manifest, and so out of the install: refused.
    WriteTestFile(tree + L"\\last.bin", 1);
    FileDeployer installer(scratch / L"staging", nullptr);
    installer.SetTargetRoot(scratch / L"App\\1.14.301");
    installer.SetManifestPath(scratch / L"App\\1.14.301\\PeloraInstall.xml");
    EXPECT_EQ(0, installer.Install());
    EXPECT_EQ(0u, installer.BytesCopied());
    EXPECT_EQ(0u, installer.LastFailedFile().find(tree)) << "names an entry left out";
}

// Leaves a staged tree and its manifest where a check outside Wine can read them, when
// PELORA_MANIFEST_EXPORT names a folder (tests/deploy/test_manifest_xml.py sets it).
TEST(ManifestExport, WritesATreeAndItsManifestForTheXmlCheck) {
    const wchar_t* exportFolder = _wgetenv(L"PELORA_MANIFEST_EXPORT");
    if (exportFolder == nullptr || *exportFolder == L'\0') GTEST_SKIP() << "no export folder";
    std::wstring staging = JoinPath(exportFolder, L"staging");
    std::wstring tree = staging + L"\\program files\\Corvane\\Pelora";
    DeleteFolderTree(staging);
    WriteTestFile(tree + L"\\Bin\\Pelora.exe", 200);
    WriteTestFile(tree + L"\\Bin\\tinyxml.dll", 4096);
    WriteTestFile(tree + L"\\WMSysPr9.prx", 100);
    WriteTestFile(tree + L"\\Misc\\CVSSO\\CVSSO\\sso & co.dat", 1234);
    CreateFolderPath(tree + L"\\Skins\\Empty");
    std::wstring target = JoinPath(exportFolder, L"App\\1.14.301");
    DeleteFolderTree(target);
    FileDeployer deployer(staging, nullptr);
    deployer.SetTargetRoot(target);
    deployer.SetManifestPath(target + L"\\PeloraInstall.xml");
    ASSERT_EQ(1, deployer.Install());
    EXPECT_TRUE(FileExists(target + L"\\PeloraInstall.xml"));
}

}  // namespace
