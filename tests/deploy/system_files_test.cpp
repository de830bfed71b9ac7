// The system files the setup creates: noted in the run that creates them, recorded in the per-user
// product key across runs, and taken back only from their two places and only while they are the
// product's.
#include <gtest/gtest.h>

#include "deploy/file_system.h"
#include "deploy/product_registry.h"
#include "deploy/system_files.h"
#include "removal_test_support.h"

namespace {

const wchar_t kCompanyKey[] = L"SOFTWARE\\Corvane";
const wchar_t kProductKey[] = L"SOFTWARE\\Corvane\\Pelora";
const wchar_t kProfile[] = L"C:\\windows\\WMSysPr9.prx";

class SystemFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        Clear();
        wchar_t system[MAX_PATH] = {};
        ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
        m_helper = std::wstring(system) + L"\\MivoVistaHelper.dll";
        ASSERT_EQ(m_helper, SystemHelperDllPath());
        ASSERT_EQ(kProfile, SystemProfilePath());
        DeleteFileW(m_helper.c_str());
        DeleteFileW(kProfile);
        m_versionFolder = m_scratch / L"App\\1.14.301";
        m_staging = m_scratch / L"STemp";
        // The profile the setup copies comes from the staged tree, which the version folder receives.
        WriteTestFile(m_staging + L"\\program files\\Corvane\\Pelora\\WMSysPr9.prx", 300, 'p');
        WriteTestFile(m_versionFolder + L"\\WMSysPr9.prx", 300, 'p');
    }
    void TearDown() override {
        DeleteFileW(m_helper.c_str());
        DeleteFileW(kProfile);
        Clear();
    }
    static void Clear() {
        for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) DeleteRegistryTree(hive, kCompanyKey);
    }
    // One setup run: the helper step (here a plain write), the profile copy, then the per-user key.
    void SetupRun() {
        SystemFileNotes notes;
        EXPECT_TRUE(notes.Provide(m_helper, [&] {
            if (!FileExists(m_helper)) WriteTestFile(m_helper, 100, 'h');
            return true;
        }));
        EXPECT_TRUE(notes.Provide(SystemProfilePath(), [&] { return CopySystemProfile(m_staging); }));
        ASSERT_TRUE(WriteProductKey(m_versionFolder, L"1", HKEY_CURRENT_USER, L"False", false));
        EXPECT_TRUE(RecordSystemFiles(HKEY_CURRENT_USER, notes.Created()));
    }
    void Record(const std::vector<std::wstring>& paths) {
        SetMultiString(HKEY_CURRENT_USER, kProductKey, L"SystemFiles", paths);
    }

    ScratchFolder m_scratch;
    TestInstallLog m_log;
    std::wstring m_helper;
    std::wstring m_versionFolder;
    std::wstring m_staging;
};

TEST_F(SystemFilesTest, OnlyTheRunThatCreatesAFileRecordsIt) {
    // First run: the helper is already there (another program's), the profile is missing.
    WriteTestFile(m_helper, 100, 'o');
    SetupRun();
    EXPECT_EQ(std::vector<std::wstring>{kProfile}, ReadRecordedSystemFiles(HKEY_CURRENT_USER));

    // Second run: the helper has gone meanwhile and this run brings it; the profile is there now.
    DeleteFileW(m_helper.c_str());
    SetupRun();
    const std::vector<std::wstring> both = {kProfile, m_helper};
    EXPECT_EQ(both, ReadRecordedSystemFiles(HKEY_CURRENT_USER));

    // Third run brings the profile once more: it stays listed once.
    DeleteFileW(kProfile);
    SetupRun();
    EXPECT_EQ(both, ReadRecordedSystemFiles(HKEY_CURRENT_USER));

    // Fourth run finds both: the record stays as the earlier runs left it.
    SetupRun();
    EXPECT_EQ(both, ReadRecordedSystemFiles(HKEY_CURRENT_USER));
    EXPECT_TRUE(ReadRecordedSystemFiles(HKEY_LOCAL_MACHINE).empty());
}

TEST_F(SystemFilesTest, AStepThatCreatesNothingNotesNothing) {
    SystemFileNotes notes;
    EXPECT_FALSE(notes.Provide(m_helper, [] { return false; }));
    EXPECT_FALSE(notes.Provide(SystemProfilePath(), [&] { return CopySystemProfile(m_scratch / L"absent"); }));
    EXPECT_TRUE(notes.Created().empty());
    // Recording needs the product key and does not make one.
    EXPECT_FALSE(RecordSystemFiles(HKEY_CURRENT_USER, {m_helper}));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kProductKey));
    EXPECT_TRUE(RecordSystemFiles(HKEY_CURRENT_USER, {})) << "nothing to record is recorded";
}

TEST_F(SystemFilesTest, RecordedFilesGoAndTheRecordWithThem) {
    SetupRun();
    ASSERT_TRUE(FileExists(m_helper));
    ASSERT_TRUE(FileExists(kProfile));
    EXPECT_TRUE(RemoveRecordedSystemFiles(HKEY_CURRENT_USER, m_versionFolder));
    EXPECT_FALSE(FileOrFolderExists(m_helper));
    EXPECT_FALSE(FileOrFolderExists(kProfile));
    DWORD type = 0, bytes = 0;
    EXPECT_FALSE(QueryValueShape(HKEY_CURRENT_USER, kProductKey, L"SystemFiles", type, bytes));
    // Another program may bring the same files later: with the record gone they are not touched.
    WriteTestFile(m_helper, 100, 'o');
    EXPECT_TRUE(RemoveRecordedSystemFiles(HKEY_CURRENT_USER, m_versionFolder));
    EXPECT_TRUE(FileExists(m_helper));
}

TEST_F(SystemFilesTest, PathsOutsideTheTwoPlacesAreIgnored) {
    const std::wstring victim = m_scratch / L"victim.dll";
    const std::wstring helperElsewhere = m_scratch / L"MivoVistaHelper.dll";
    const std::wstring profileElsewhere = m_scratch / L"WMSysPr9.prx";
    const std::wstring helperDotted = m_helper.substr(0, m_helper.rfind(L'\\')) + L"\\.\\MivoVistaHelper.dll";
    for (const std::wstring& path : {victim, helperElsewhere, profileElsewhere}) WriteTestFile(path, 300, 'p');
    WriteTestFile(m_helper, 100, 'h');
    ASSERT_TRUE(WriteProductKey(m_versionFolder, L"1", HKEY_CURRENT_USER, L"False", false));
    Record({victim, helperElsewhere, profileElsewhere, helperDotted, L"C:\\windows"});

    EXPECT_TRUE(RemoveRecordedSystemFiles(HKEY_CURRENT_USER, m_versionFolder));
    for (const std::wstring& path : {victim, helperElsewhere, profileElsewhere, m_helper})
        EXPECT_TRUE(FileExists(path)) << "deleted " << std::string(path.begin(), path.end());
    EXPECT_TRUE(FolderExists(L"C:\\windows"));
    EXPECT_TRUE(m_log.Contains(victim)) << "an ignored entry is logged";
    EXPECT_TRUE(ReadRecordedSystemFiles(HKEY_CURRENT_USER).empty()) << "ignored entries are not kept";
}

TEST_F(SystemFilesTest, AChangedProfileIsKept) {
    WriteTestFile(m_helper, 100, 'o');
    SetupRun();
    ASSERT_EQ(std::vector<std::wstring>{kProfile}, ReadRecordedSystemFiles(HKEY_CURRENT_USER));
    // Same size, one byte different: not the product's any more.
    WriteTestFile(kProfile, 300, 'p');
    HANDLE file = CreateFileW(kProfile, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    SetFilePointer(file, 299, nullptr, FILE_BEGIN);
    DWORD written = 0;
    WriteFile(file, "!", 1, &written, nullptr);
    CloseHandle(file);
    EXPECT_TRUE(RemoveRecordedSystemFiles(HKEY_CURRENT_USER, m_versionFolder));
    EXPECT_TRUE(FileExists(kProfile));
    EXPECT_TRUE(m_log.Contains(kProfile));

    // Without the version folder's copy nothing proves the profile is the product's.
    WriteTestFile(kProfile, 300, 'p');
    Record({kProfile});
    EXPECT_TRUE(RemoveRecordedSystemFiles(HKEY_CURRENT_USER, m_scratch / L"gone\\1.14.301"));
    EXPECT_TRUE(FileExists(kProfile));

    // A longer file that begins like the product's is not the product's either.
    WriteTestFile(kProfile, 301, 'p');
    Record({kProfile});
    EXPECT_TRUE(RemoveRecordedSystemFiles(HKEY_CURRENT_USER, m_versionFolder));
    EXPECT_TRUE(FileExists(kProfile));
}

// A loaded helper cannot be deleted but can be renamed: it is moved aside for the next start.
TEST_F(SystemFilesTest, AHelperInUseIsMovedAside) {
    ASSERT_TRUE(WriteProductKey(m_versionFolder, L"1", HKEY_CURRENT_USER, L"False", false));
    MappedProgramImage image(m_helper);
    ASSERT_TRUE(image.IsHeld());
    Record({m_helper});
    ASSERT_FALSE(DeleteFileW(m_helper.c_str())) << "this system deletes a mapped image";

    const bool removed = RemoveRecordedSystemFiles(HKEY_CURRENT_USER, m_versionFolder);
    image.Release();
    DeleteFileW((m_helper + L"~1").c_str());
    EXPECT_TRUE(removed);
    EXPECT_FALSE(FileOrFolderExists(m_helper));
    EXPECT_TRUE(ReadRecordedSystemFiles(HKEY_CURRENT_USER).empty());
}

// A file that can be neither deleted nor renamed stays listed, so that a later run takes it.
TEST_F(SystemFilesTest, AHelperThatCannotBeRemovedStaysRecorded) {
    WriteTestFile(m_helper, 100, 'h');
    ASSERT_TRUE(WriteProductKey(m_versionFolder, L"1", HKEY_CURRENT_USER, L"False", false));
    Record({L"D:\\elsewhere.dll", m_helper, kProfile});
    HANDLE holder = CreateFileW(m_helper.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    const bool removed = RemoveRecordedSystemFiles(HKEY_CURRENT_USER, m_versionFolder);
    const std::vector<std::wstring> left = ReadRecordedSystemFiles(HKEY_CURRENT_USER);
    CloseHandle(holder);
    EXPECT_FALSE(removed);
    EXPECT_TRUE(FileExists(m_helper));
    EXPECT_EQ(std::vector<std::wstring>{m_helper}, left);
}

}  // namespace
