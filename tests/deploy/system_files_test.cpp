// The system files the setup creates: noted in the run that creates them, recorded in the per-user
// product key across runs with their hashes in the machine-wide one, and taken back only from their
// two places and only while they hold the bytes the setup wrote.
#include <gtest/gtest.h>

#include "deploy/file_hash.h"
#include "deploy/file_system.h"
#include "deploy/product_registry.h"
#include "deploy/registry_keys.h"
#include "deploy/system_files.h"
#include "removal_test_support.h"

namespace {

const wchar_t kCompanyKey[] = L"SOFTWARE\\Corvane";
const wchar_t kProductKey[] = L"SOFTWARE\\Corvane\\Pelora";
const wchar_t kProfile[] = L"C:\\windows\\WMSysPr9.prx";
const wchar_t kHashes[] = L"SystemFileHashes";
// SHA-256 of "abc" and of "abd" (FIPS 180-2 and sha256sum).
const wchar_t kAbcHash[] = L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
const wchar_t kAbdHash[] = L"a52d159f262b2c6ddb724a61840befc36eb30c88877a4030b65cbe86298449c9";

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
    // The machine-wide record as the uninstaller finds it.
    static void RecordHashes(const std::vector<std::wstring>& entries) {
        SetMultiString(HKEY_LOCAL_MACHINE, kProductKey, kHashes, entries);
    }
    static std::vector<std::wstring> Hashes() {
        std::vector<std::wstring> entries;
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProductKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return entries;
        ReadMultiStringValue(key, kHashes, entries);
        RegCloseKey(key);
        return entries;
    }
    static bool HasHashes() {
        DWORD type = 0, bytes = 0;
        return QueryValueShape(HKEY_LOCAL_MACHINE, kProductKey, kHashes, type, bytes);
    }
    // A setup run that created the helper with the bytes "abc".
    void CreateHelperAsSetup() {
        WriteTestBytes(m_helper, "abc");
        ASSERT_TRUE(WriteProductKey(m_versionFolder, L"1", HKEY_CURRENT_USER, L"False", false));
        ASSERT_TRUE(RecordSystemFiles(HKEY_CURRENT_USER, {m_helper}));
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
    const std::wstring profileHash = Sha256OfFile(m_versionFolder + L"\\WMSysPr9.prx");
    EXPECT_EQ(std::vector<std::wstring>{std::wstring(kProfile) + L"|" + profileHash}, Hashes());

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
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kProductKey)) << "no hash without the list";
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
    for (const std::wstring& path : {victim, helperElsewhere, profileElsewhere}) WriteTestFile(path, 300, 'p');
    CreateHelperAsSetup();
    // Even with a recorded hash of their bytes, files elsewhere are not the setup's to delete.
    RecordHashes({m_helper + L"|" + kAbcHash, victim + L"|" + Sha256OfFile(victim),
                  helperElsewhere + L"|" + Sha256OfFile(helperElsewhere),
                  profileElsewhere + L"|" + Sha256OfFile(profileElsewhere)});
    Record({victim, helperElsewhere, profileElsewhere, L"C:\\windows"});

    EXPECT_TRUE(RemoveRecordedSystemFiles(HKEY_CURRENT_USER, m_versionFolder));
    for (const std::wstring& path : {victim, helperElsewhere, profileElsewhere, m_helper})
        EXPECT_TRUE(FileExists(path)) << "deleted " << std::string(path.begin(), path.end());
    EXPECT_TRUE(FolderExists(L"C:\\windows"));
    EXPECT_TRUE(m_log.Contains(victim)) << "an ignored entry is logged";
    EXPECT_TRUE(ReadRecordedSystemFiles(HKEY_CURRENT_USER).empty()) << "ignored entries are not kept";
}

// The per-user list is the user's to edit; the machine-wide hash says which bytes the setup wrote.
TEST_F(SystemFilesTest, AHelperGoesOnlyWithTheBytesTheSetupWrote) {
    CreateHelperAsSetup();
    EXPECT_EQ(std::vector<std::wstring>{m_helper + L"|" + kAbcHash}, Hashes());
    // Another program has put its own helper in its place since.
    WriteTestBytes(m_helper, "abd");
    EXPECT_TRUE(RemoveRecordedSystemFiles(HKEY_CURRENT_USER, m_versionFolder));
    EXPECT_EQ("abd", ReadTestFile(m_helper));
    EXPECT_TRUE(m_log.Contains(kAbdHash)) << "the kept file is logged with what it holds";
    EXPECT_TRUE(ReadRecordedSystemFiles(HKEY_CURRENT_USER).empty()) << "it is no longer the product's";
    EXPECT_FALSE(HasHashes()) << "the hashes go with the list";

    // With the bytes the setup wrote, it goes.
    CreateHelperAsSetup();
    EXPECT_TRUE(RemoveRecordedSystemFiles(HKEY_CURRENT_USER, m_versionFolder));
    EXPECT_FALSE(FileOrFolderExists(m_helper));
    EXPECT_TRUE(ReadRecordedSystemFiles(HKEY_CURRENT_USER).empty());
    EXPECT_FALSE(HasHashes());
}

TEST_F(SystemFilesTest, WithoutARecordedHashNothingIsDeleted) {
    // Listed by hand, or by a setup that recorded no hashes: nothing shows the files are the product's.
    WriteTestBytes(m_helper, "abc");
    WriteTestFile(kProfile, 300, 'p');
    ASSERT_TRUE(WriteProductKey(m_versionFolder, L"1", HKEY_CURRENT_USER, L"False", false));
    Record({m_helper, kProfile});
    EXPECT_TRUE(RemoveRecordedSystemFiles(HKEY_CURRENT_USER, m_versionFolder));
    EXPECT_TRUE(FileExists(m_helper));
    EXPECT_TRUE(FileExists(kProfile)) << "even byte for byte the version folder's copy";
    EXPECT_TRUE(m_log.Contains(L"no hash")) << "the kept files are logged";
    EXPECT_TRUE(ReadRecordedSystemFiles(HKEY_CURRENT_USER).empty());

    // The profile's hash does not vouch for the helper.
    Record({m_helper});
    RecordHashes({std::wstring(kProfile) + L"|" + kAbcHash});
    EXPECT_TRUE(RemoveRecordedSystemFiles(HKEY_CURRENT_USER, m_versionFolder));
    EXPECT_TRUE(FileExists(m_helper));

    // Nor does a hash in the user's own product key, which the user can write.
    Record({m_helper});
    SetMultiString(HKEY_CURRENT_USER, kProductKey, kHashes, {m_helper + L"|" + kAbcHash});
    EXPECT_TRUE(RemoveRecordedSystemFiles(HKEY_CURRENT_USER, m_versionFolder));
    EXPECT_TRUE(FileExists(m_helper));
}

// The list may spell the place in any way; only the place itself is ever deleted.
TEST_F(SystemFilesTest, ThePlaceIsKnownInAnySpelling) {
    const std::wstring folder = m_helper.substr(0, m_helper.rfind(L'\\'));
    for (const std::wstring& spelling : {UpperCaseWithSlashes(m_helper), folder + L"\\.\\MivoVistaHelper.dll",
                                         folder + L"\\..\\" + folder.substr(folder.rfind(L'\\') + 1) +
                                             L"\\mivovistahelper.DLL"}) {
        CreateHelperAsSetup();
        Record({spelling});
        EXPECT_TRUE(RemoveRecordedSystemFiles(HKEY_CURRENT_USER, m_versionFolder));
        EXPECT_FALSE(FileOrFolderExists(m_helper)) << std::string(spelling.begin(), spelling.end());
    }
}

TEST_F(SystemFilesTest, ARunThatCreatesAFileAgainRecordsItsNewBytes) {
    CreateHelperAsSetup();
    DeleteFileW(m_helper.c_str());
    WriteTestBytes(m_helper, "abd");
    ASSERT_TRUE(RecordSystemFiles(HKEY_CURRENT_USER, {UpperCaseWithSlashes(m_helper)}));
    EXPECT_EQ(std::vector<std::wstring>{m_helper}, ReadRecordedSystemFiles(HKEY_CURRENT_USER)) << "listed once";
    EXPECT_EQ(std::vector<std::wstring>{UpperCaseWithSlashes(m_helper) + L"|" + kAbdHash}, Hashes())
        << "one entry, the new bytes";
    EXPECT_TRUE(RemoveRecordedSystemFiles(HKEY_CURRENT_USER, m_versionFolder));
    EXPECT_FALSE(FileOrFolderExists(m_helper));
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

    // Without the version folder's copy the profile stays, even with the recorded bytes.
    WriteTestFile(kProfile, 300, 'p');
    Record({kProfile});
    RecordHashes({std::wstring(kProfile) + L"|" + Sha256OfFile(kProfile)});
    EXPECT_TRUE(RemoveRecordedSystemFiles(HKEY_CURRENT_USER, m_scratch / L"gone\\1.14.301"));
    EXPECT_TRUE(FileExists(kProfile));

    // A longer file that begins like the version folder's copy is not the product's either.
    WriteTestFile(kProfile, 301, 'p');
    Record({kProfile});
    RecordHashes({std::wstring(kProfile) + L"|" + Sha256OfFile(kProfile)});
    EXPECT_TRUE(RemoveRecordedSystemFiles(HKEY_CURRENT_USER, m_versionFolder));
    EXPECT_TRUE(FileExists(kProfile));
}

// A loaded helper cannot be deleted but can be renamed: it is moved aside for the next start.
TEST_F(SystemFilesTest, AHelperInUseIsMovedAside) {
    ASSERT_TRUE(WriteProductKey(m_versionFolder, L"1", HKEY_CURRENT_USER, L"False", false));
    MappedProgramImage image(m_helper);
    ASSERT_TRUE(image.IsHeld());
    ASSERT_TRUE(RecordSystemFiles(HKEY_CURRENT_USER, {m_helper}));
    ASSERT_FALSE(DeleteFileW(m_helper.c_str())) << "this system deletes a mapped image";

    const bool removed = RemoveRecordedSystemFiles(HKEY_CURRENT_USER, m_versionFolder);
    image.Release();
    DeleteFileW((m_helper + L"~1").c_str());
    EXPECT_TRUE(removed);
    EXPECT_FALSE(FileOrFolderExists(m_helper));
    EXPECT_TRUE(ReadRecordedSystemFiles(HKEY_CURRENT_USER).empty());
    EXPECT_FALSE(HasHashes());
}

// A file that can be neither deleted nor renamed stays listed, so that a later run takes it.
TEST_F(SystemFilesTest, AHelperThatCannotBeRemovedStaysRecorded) {
    CreateHelperAsSetup();
    Record({L"D:\\elsewhere.dll", m_helper, kProfile});
    HANDLE holder = CreateFileW(m_helper.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    const bool removed = RemoveRecordedSystemFiles(HKEY_CURRENT_USER, m_versionFolder);
    const std::vector<std::wstring> left = ReadRecordedSystemFiles(HKEY_CURRENT_USER);
    CloseHandle(holder);
    EXPECT_FALSE(removed);
    EXPECT_TRUE(FileExists(m_helper));
    EXPECT_EQ(std::vector<std::wstring>{m_helper}, left);
    EXPECT_EQ(std::vector<std::wstring>{m_helper + L"|" + kAbcHash}, Hashes()) << "its hash stays for the later run";
}

}  // namespace
