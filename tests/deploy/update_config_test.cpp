// The updater's configuration after an install: old version folders go (only the product's),
// the ini names the new version alone, the update marker is reset.
#include <gtest/gtest.h>

#include <vector>

#include "deploy/file_system.h"
#include "deploy/install_paths.h"
#include "deploy/update_config.h"
#include "deploy_test_support.h"

namespace {

class UpdaterConfig : public ::testing::Test {
protected:
    std::wstring updateFolder = UpdateFolder();
    std::wstring ini = updateFolder + L"AuQuietUpdate.ini";
    std::wstring appRoot = DefaultProductRoot();
    std::wstring newFolder = appRoot + L"\\1.14.301";

    void SetUp() override {
        ASSERT_FALSE(updateFolder.empty());
        RemoveTestTree(updateFolder);
        CreateFolderPath(updateFolder);
    }
    void TearDown() override {
        RemoveTestTree(updateFolder);
        RemoveTestTree(appRoot);
        RemoveTestTree(ProgramsFolder());
    }
    void WriteHistory(const std::vector<std::wstring>& folders) {
        WritePrivateProfileStringW(L"Current", L"strVoctoPath", L"C:\\somewhere\\old", ini.c_str());
        WritePrivateProfileStringW(L"History", L"nCount", std::to_wstring(folders.size()).c_str(), ini.c_str());
        for (size_t i = 0; i < folders.size(); ++i) {
            const std::wstring key = L"strVoctoPath" + std::to_wstring(i + 1);
            WritePrivateProfileStringW(L"History", key.c_str(), folders[i].c_str(), ini.c_str());
        }
    }
    // The section names of the ini, "|"-joined.
    std::wstring Sections() const {
        wchar_t names[512] = {};
        const DWORD length = GetPrivateProfileSectionNamesW(names, 512, ini.c_str());
        std::wstring joined;
        for (const wchar_t* name = names; name < names + length && *name; name += wcslen(name) + 1)
            joined += (joined.empty() ? L"" : L"|") + std::wstring(name);
        return joined;
    }
    std::wstring Current() const {
        wchar_t value[MAX_PATH] = {};
        GetPrivateProfileStringW(L"Current", L"strVoctoPath", L"", value, MAX_PATH, ini.c_str());
        return value;
    }
};

TEST_F(UpdaterConfig, OldVersionFoldersGoTheNewOneAndForeignOnesStay) {
    ScratchFolder scratch;
    const std::wstring older = appRoot + L"\\1.12.0";
    const std::wstring foreign = scratch / L"Documents\\1.11.0";
    WriteTestFile(older + L"\\Bin\\Pelora.exe", 10);
    WriteTestFile(newFolder + L"\\Bin\\Pelora.exe", 10);
    WriteTestFile(foreign + L"\\letter.txt", 9);
    WriteHistory({older, newFolder, L"Q:\\absent drive\\1.10.0", foreign});

    DeleteVersion(newFolder);

    EXPECT_FALSE(FileOrFolderExists(older));
    EXPECT_TRUE(FileExists(newFolder + L"\\Bin\\Pelora.exe")) << "the new version folder is kept";
    EXPECT_EQ(9u, SizeOfFile(foreign + L"\\letter.txt")) << "a folder that is not the product's stays";
    EXPECT_EQ(L"Current", Sections());
    EXPECT_EQ(newFolder, Current());
}

TEST_F(UpdaterConfig, WithoutAnIniOneNamingTheNewVersionIsWritten) {
    RemoveTestTree(updateFolder);
    DeleteVersion(newFolder);
    EXPECT_EQ(L"Current", Sections());
    EXPECT_EQ(newFolder, Current());
}

TEST_F(UpdaterConfig, AnIniInUseIsMovedAsideAndWrittenAnew) {
    WriteHistory({appRoot + L"\\1.12.0"});
    WritePrivateProfileStringW(L"Other", L"kept", L"1", ini.c_str());
    HANDLE held = CreateFileW(ini.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    DeleteVersion(newFolder);
    CloseHandle(held);
    EXPECT_EQ(L"Current", Sections()) << "nothing of the old file is left in the new one";
    EXPECT_EQ(newFolder, Current());
}

TEST_F(UpdaterConfig, TheProgramsFolderGoesUnlessTheNewVersionLiesInIt) {
    const std::wstring programs = ProgramsFolder();
    WriteTestFile(programs + L"\\1.13.0\\Bin\\Pelora.exe", 10);
    DeleteVersion(programs + L"\\1.14.301");
    EXPECT_TRUE(FileOrFolderExists(programs));
    DeleteVersion(newFolder);
    EXPECT_FALSE(FileOrFolderExists(programs));
}

TEST_F(UpdaterConfig, TheUpdateMarkerIsRemoved) {
    const std::wstring marker = updateFolder + L"AuVersion.ini";
    EXPECT_TRUE(ResetUpdateState()) << "no marker, nothing to do";
    WritePrivateProfileStringW(L"update", L"state", L"2", marker.c_str());
    EXPECT_TRUE(ResetUpdateState());
    EXPECT_FALSE(FileExists(marker));
}

TEST_F(UpdaterConfig, AMarkerInUseLosesItsState) {
    const std::wstring marker = updateFolder + L"AuVersion.ini";
    WritePrivateProfileStringW(L"update", L"state", L"2", marker.c_str());
    WritePrivateProfileStringW(L"update", L"version", L"1.13.0", marker.c_str());
    HANDLE held = CreateFileW(marker.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_TRUE(ResetUpdateState());
    CloseHandle(held);
    wchar_t value[16] = {};
    GetPrivateProfileStringW(L"update", L"state", L"none", value, 16, marker.c_str());
    EXPECT_STREQ(L"none", value);
    GetPrivateProfileStringW(L"update", L"version", L"", value, 16, marker.c_str());
    EXPECT_STREQ(L"1.13.0", value);
}

}  // namespace
