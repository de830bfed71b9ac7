// The service library's folder and copy: the access list the folder is given as the system reports
// it back, the check that decides whether a folder keeps writers out, and the copy that is
// registered only when its bytes are the archive's. Wine stores access lists and reads them back
// but does not enforce them, so these tests look at what is set and read, never at who may write.
#include <gtest/gtest.h>

#include <windows.h>

#include <sddl.h>

#include <cstddef>
#include <cstdlib>
#include <string>
#include <vector>

#include "deploy/admin_only_folder.h"
#include "deploy/deferred_removal.h"
#include "deploy/file_system.h"
#include "deploy/service_library.h"
#include "deploy/service_library_constants.h"
#include "deploy/verified_code.h"
#include "deploy_test_support.h"
#include "removal_test_support.h"

namespace {

// SHA-256 of "abc" (FIPS 180-2, appendix B.1).
const wchar_t kAbcDigest[] = L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
constexpr DWORD kReadAndExecute = 0x1200A9;  // FILE_GENERIC_READ | FILE_GENERIC_EXECUTE
constexpr BYTE kBothInherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;

struct Entry {
    BYTE type;
    BYTE flags;
    DWORD mask;
    std::wstring sid;
    bool operator==(const Entry& other) const {
        return type == other.type && flags == other.flags && mask == other.mask && sid == other.sid;
    }
};

void PrintTo(const Entry& entry, std::ostream* out) {
    *out << "{type " << int(entry.type) << ", flags 0x" << std::hex << int(entry.flags) << ", mask 0x" << entry.mask
         << std::dec << ", " << std::string(entry.sid.begin(), entry.sid.end()) << "}";
}

std::wstring SidText(PSID sid) {
    wchar_t* text = nullptr;
    if (!sid || !ConvertSidToStringSidW(sid, &text)) return L"<none>";
    std::wstring result = text;
    LocalFree(text);
    return result;
}

// A folder's owner and access list as the system reports them, read by path.
struct ReadBack {
    bool read = false;
    bool isProtected = false;
    std::wstring owner;
    std::vector<Entry> entries;
};

ReadBack ReadSecurity(const std::wstring& path) {
    ReadBack result;
    DWORD needed = 0;
    const SECURITY_INFORMATION wanted = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    GetFileSecurityW(path.c_str(), wanted, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    if (needed == 0 || !GetFileSecurityW(path.c_str(), wanted, buffer.data(), needed, &needed)) return result;
    PSECURITY_DESCRIPTOR descriptor = buffer.data();
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    PSID owner = nullptr;
    PACL list = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    if (!GetSecurityDescriptorControl(descriptor, &control, &revision) ||
        !GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) ||
        !GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted) || !present || !list) {
        return result;
    }
    result.read = true;
    result.isProtected = (control & SE_DACL_PROTECTED) != 0;
    result.owner = SidText(owner);
    for (DWORD i = 0; i < list->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(list, i, &ace)) continue;
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        result.entries.push_back(
            {allowed->Header.AceType, allowed->Header.AceFlags, allowed->Mask, SidText(&allowed->SidStart)});
    }
    return result;
}

const std::vector<Entry>& IntendedEntries() {
    static const std::vector<Entry> intended = {
        {ACCESS_ALLOWED_ACE_TYPE, kBothInherit, FILE_ALL_ACCESS, L"S-1-5-18"},
        {ACCESS_ALLOWED_ACE_TYPE, kBothInherit, FILE_ALL_ACCESS, L"S-1-5-32-544"},
        {ACCESS_ALLOWED_ACE_TYPE, kBothInherit, kReadAndExecute, L"S-1-5-32-545"}};
    return intended;
}

bool IsIntendedShape(const ReadBack& security) {
    return security.read && security.isProtected && security.owner == L"S-1-5-32-544" &&
           security.entries == IntendedEntries();
}

// Whether an allow entry gives anybody but the system, the administrators and the folder's owner
// a right to change the folder. (Wine reports its Unix owner with full control on every file.)
bool LetsOthersWrite(const ReadBack& security) {
    const DWORD write = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER |
                        GENERIC_WRITE | GENERIC_ALL;
    for (const Entry& entry : security.entries) {
        if (entry.type == ACCESS_ALLOWED_ACE_TYPE && (entry.mask & write) != 0 && entry.sid != L"S-1-5-18" &&
            entry.sid != L"S-1-5-32-544" && entry.sid != security.owner) {
            return true;
        }
    }
    return false;
}

void ExpectIntendedShape(const std::wstring& folder) {
    const ReadBack security = ReadSecurity(folder);
    ASSERT_TRUE(security.read);
    EXPECT_TRUE(security.isProtected) << "entries of Program Files must not flow in";
    EXPECT_EQ(L"S-1-5-32-544", security.owner);
    EXPECT_EQ(IntendedEntries(), security.entries);
}

// A folder given the access list `sddl` after it was made, as another program or an earlier
// install may have left it.
void MakeFolderWith(const std::wstring& path, const wchar_t* sddl) {
    ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr));
    const BOOL set = SetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, descriptor);
    LocalFree(descriptor);
    ASSERT_TRUE(set);
}

bool VerdictOn(const wchar_t* sddl, const wchar_t** problem) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr)) {
        ADD_FAILURE() << "bad test descriptor";
        return true;
    }
    const bool adminOnly = IsAdminOnly(descriptor, problem);
    LocalFree(descriptor);
    return adminOnly;
}

std::vector<std::wstring> FolderNames(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        if (wcscmp(found.cFileName, L".") != 0 && wcscmp(found.cFileName, L"..") != 0) names.push_back(found.cFileName);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return names;
}

std::vector<std::wstring> PendingSources() {
    const std::wstring joined = QueryMultiString(
        HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", L"PendingFileRenameOperations");
    std::vector<std::wstring> sources;
    size_t start = 0;
    for (bool isSource = true; start <= joined.size(); isSource = !isSource) {
        const size_t bar = joined.find(L'|', start);
        const std::wstring item = joined.substr(start, bar == std::wstring::npos ? std::wstring::npos : bar - start);
        if (isSource && !item.empty()) sources.push_back(item.substr(item.rfind(L'?') == 2 ? 4 : 0));
        if (bar == std::wstring::npos) break;
        start = bar + 1;
    }
    return sources;
}

bool IsPending(const std::wstring& path) {
    for (const std::wstring& pending : PendingSources()) {
        if (lstrcmpiW(pending.c_str(), path.c_str()) == 0) return true;
    }
    return false;
}

// ---- the check ---------------------------------------------------------------------------------

TEST(AdminOnlyCheck, TheIntendedListPassesAndDenyEntriesChangeNothing) {
    const wchar_t* problem = nullptr;
    EXPECT_TRUE(VerdictOn(deploy::kServiceLibraryAccessList, &problem)) << problem;
    EXPECT_TRUE(VerdictOn(L"O:SYD:P(A;;FA;;;SY)(D;;FA;;;WD)(A;;FRFX;;;WD)", &problem)) << problem;
}

TEST(AdminOnlyCheck, EveryWayToLetOthersWriteFailsIt) {
    struct Case {
        const wchar_t* sddl;
        const wchar_t* problem;
    };
    const Case cases[] = {
        {L"O:BAD:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", deploy::kReasonNotProtected},
        {L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;0x1200ab;;;BU)", deploy::kReasonOtherWriter},  // write data
        {L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;0x1200ad;;;BU)", deploy::kReasonOtherWriter},  // append
        {L"O:BAD:P(A;OICI;FA;;;SY)(A;;0x1200e9;;;AU)", deploy::kReasonOtherWriter},      // delete children
        {L"O:BAD:P(A;OICI;FA;;;SY)(A;;0x1201a9;;;BU)", deploy::kReasonOtherWriter},      // write attributes
        {L"O:BAD:P(A;OICI;FA;;;SY)(A;;SD;;;WD)", deploy::kReasonOtherWriter},            // delete
        {L"O:BAD:P(A;OICI;FA;;;SY)(A;;WD;;;BU)", deploy::kReasonOtherWriter},            // change the list
        {L"O:BAD:P(A;OICI;FA;;;SY)(A;;WO;;;BU)", deploy::kReasonOtherWriter},            // take ownership
        {L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;GW;;;BU)", deploy::kReasonOtherWriter},        // generic write
        {L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;GA;;;WD)", deploy::kReasonOtherWriter},        // generic all
        {L"O:BAD:P(A;OICI;FA;;;SY)(A;OICIIO;FA;;;BU)", deploy::kReasonOtherWriter},      // for what lies inside
        {L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;S-1-5-21-1-2-3-1000)", deploy::kReasonOtherWriter},
        {L"O:BUD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", deploy::kReasonForeignOwner},
        {L"O:S-1-5-21-1-2-3-1000D:P(A;OICI;FA;;;SY)", deploy::kReasonForeignOwner},
    };
    for (const Case& test : cases) {
        const wchar_t* problem = nullptr;
        const std::string sddl(test.sddl, test.sddl + wcslen(test.sddl));
        EXPECT_FALSE(VerdictOn(test.sddl, &problem)) << sddl;
        EXPECT_STREQ(test.problem, problem) << sddl;
    }
}

// Two lists no string form describes here: none at all (everybody may do everything), and an
// allow entry of a kind the check does not know (a callback entry for the users).
TEST(AdminOnlyCheck, NoListAndUnknownEntriesFailIt) {
    SECURITY_DESCRIPTOR descriptor;
    ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    BYTE administrators[SECURITY_MAX_SID_SIZE], users[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(administrators);
    ASSERT_TRUE(CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size));
    size = sizeof(users);
    ASSERT_TRUE(CreateWellKnownSid(WinBuiltinUsersSid, nullptr, users, &size));
    ASSERT_TRUE(SetSecurityDescriptorOwner(&descriptor, administrators, FALSE));
    ASSERT_TRUE(SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE));
    const wchar_t* problem = nullptr;
    EXPECT_FALSE(IsAdminOnly(&descriptor, &problem));
    EXPECT_STREQ(deploy::kReasonNoAccessList, problem);

    std::vector<BYTE> list(512);
    auto* acl = reinterpret_cast<ACL*>(list.data());
    ASSERT_TRUE(InitializeAcl(acl, static_cast<DWORD>(list.size()), ACL_REVISION));
    ASSERT_TRUE(AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, administrators));
    std::vector<BYTE> callback(sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE, 0);
    auto* entry = reinterpret_cast<ACCESS_ALLOWED_ACE*>(callback.data());
    const DWORD sidLength = GetLengthSid(users);
    entry->Header.AceType = ACCESS_ALLOWED_CALLBACK_ACE_TYPE;
    entry->Header.AceSize = static_cast<WORD>(offsetof(ACCESS_ALLOWED_ACE, SidStart) + sidLength);
    entry->Mask = FILE_GENERIC_READ;
    ASSERT_TRUE(CopySid(sidLength, &entry->SidStart, users));
    ASSERT_TRUE(AddAce(acl, ACL_REVISION, MAXDWORD, entry, entry->Header.AceSize));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE));
    problem = nullptr;
    EXPECT_FALSE(IsAdminOnly(&descriptor, &problem));
    EXPECT_STREQ(deploy::kReasonUnknownEntry, problem);
}

// ---- the folder --------------------------------------------------------------------------------
// Wine keeps no access lists on files: it keeps Unix permission bits and reports a list made from
// them (the Unix owner with full control, the system, and everybody for the "other" bits). There
// the folder is never found admin-only, and the setup must say so rather than use it.

class AdminOnlyFolderTest : public ::testing::Test {
protected:
    ScratchFolder m_scratch;
    TestInstallLog m_log;
    std::wstring m_folder = m_scratch / L"PeloraService";
};

TEST_F(AdminOnlyFolderTest, ANewFolderIsUsedExactlyWhenTheSystemReportsTheIntendedList) {
    const diag::ScopedHandle held = OpenAdminOnlyFolder(m_folder);
    ASSERT_TRUE(FolderExists(m_folder));
    const ReadBack security = ReadSecurity(m_folder);
    ASSERT_TRUE(security.read);
    EXPECT_EQ(IsIntendedShape(security), held.IsValid()) << "the setup's verdict differs from the system's report";
    if (held.IsValid()) {
        ExpectIntendedShape(m_folder);
        return;
    }
    // Refused for what the system reported, not for a failure on the way.
    bool reportedReason = false;
    for (const wchar_t* reason : {deploy::kReasonNotProtected, deploy::kReasonNoAccessList, deploy::kReasonOtherWriter,
                                  deploy::kReasonUnknownEntry, deploy::kReasonForeignOwner}) {
        reportedReason = reportedReason || m_log.Contains(m_folder + L" is not used: " + reason);
    }
    EXPECT_TRUE(reportedReason) << m_log.Text();
}

TEST_F(AdminOnlyFolderTest, AnExistingPermissiveFolderLosesWhatItGaveOthers) {
    MakeFolderWith(m_folder, L"D:(A;OICI;FA;;;WD)(A;OICI;FA;;;BU)");
    ASSERT_TRUE(LetsOthersWrite(ReadSecurity(m_folder))) << "the permissive folder was not made";
    WriteTestFile(m_folder + L"\\notes.txt", 10);

    const diag::ScopedHandle held = OpenAdminOnlyFolder(m_folder);
    const ReadBack security = ReadSecurity(m_folder);
    EXPECT_FALSE(LetsOthersWrite(security)) << "the list was not set again through the handle";
    if (held.IsValid()) ExpectIntendedShape(m_folder);
    EXPECT_EQ(std::vector<std::wstring>{L"notes.txt"}, FolderNames(m_folder)) << "what the folder holds stays";
}

TEST_F(AdminOnlyFolderTest, AFileInTheFoldersPlaceIsRefusedAndKept) {
    WriteTestBytes(m_folder, "a file");
    EXPECT_FALSE(OpenAdminOnlyFolder(m_folder).IsValid());
    EXPECT_EQ("a file", ReadTestFile(m_folder));
    EXPECT_TRUE(m_log.Contains(m_folder + L" is not used: " + deploy::kReasonNoFolder));
}

// From here on the check reads the list that was set, as a system that keeps lists reports it.
class EchoedAccessListTest : public ::testing::Test {
protected:
    void SetUp() override { SetAccessListEchoForTesting(true); }
    void TearDown() override { SetAccessListEchoForTesting(false); }

    ScratchFolder m_scratch;
    TestInstallLog m_log;
    std::wstring m_folder = m_scratch / L"PeloraService";
    std::wstring m_source = m_scratch / L"App\\VTService.dll";
};

TEST_F(EchoedAccessListTest, TheFolderIsHeldAgainstRenamingWhileItIsUsed) {
    diag::ScopedHandle held = OpenAdminOnlyFolder(m_folder);
    ASSERT_TRUE(held.IsValid()) << m_log.Text();
    EXPECT_FALSE(MoveFileW(m_folder.c_str(), (m_scratch / L"Moved").c_str()));
    held.Reset();
    EXPECT_TRUE(MoveFileW(m_folder.c_str(), (m_scratch / L"Moved").c_str()));
}

TEST_F(EchoedAccessListTest, TheLibraryIsCopiedIntoTheCheckedFolderAndNothingWithoutADigest) {
    WriteTestBytes(m_source, "abc");
    EXPECT_EQ(L"", ProvideServiceLibrary(m_folder, m_source, L""));
    EXPECT_FALSE(FileOrFolderExists(m_folder)) << "nothing is made without a digest to check against";
    EXPECT_TRUE(m_log.Contains(m_source + L" is not used: " + deploy::kReasonNoDigest));

    ASSERT_EQ(m_folder + L"\\VTService.dll", ProvideServiceLibrary(m_folder, m_source, kAbcDigest));
    EXPECT_EQ("abc", ReadTestFile(m_folder + L"\\VTService.dll"));
}

// ---- the copy ----------------------------------------------------------------------------------

class ServiceLibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteTestBytes(m_source, "abc");
        CreateFolderPath(m_folder);
    }

    std::wstring Copy(const std::wstring& digest = kAbcDigest) {
        return CopyServiceLibrary(m_folder, m_source, digest);
    }

    ScratchFolder m_scratch;
    TestInstallLog m_log;
    std::wstring m_folder = m_scratch / L"PeloraService";
    std::wstring m_source = m_scratch / L"App\\VTService.dll";
    std::wstring m_library = m_folder + L"\\VTService.dll";
};

TEST_F(ServiceLibraryTest, TheCopyIsTheSourcesBytesAndAReinstallReplacesIt) {
    WriteTestBytes(m_library, "an earlier install's library");
    ASSERT_EQ(m_library, Copy());
    EXPECT_EQ("abc", ReadTestFile(m_library));
    EXPECT_EQ(std::vector<std::wstring>{L"VTService.dll"}, FolderNames(m_folder)) << "no side file stays";
    EXPECT_TRUE(m_log.Contains(L"[setup]service library " + m_source + L" copied to " + m_library));
}

TEST_F(ServiceLibraryTest, ACopyThatDiffersIsDeletedAndReported) {
    ASSERT_EQ(m_library, Copy());
    // Somebody replaced the product root's file after the extraction.
    WriteTestBytes(m_source, "abd");
    EXPECT_EQ(L"", Copy());
    EXPECT_EQ(std::vector<std::wstring>{L"VTService.dll"}, FolderNames(m_folder)) << "the differing copy stays";
    EXPECT_EQ("abc", ReadTestFile(m_library)) << "the earlier copy was replaced by a foreign one";
    EXPECT_TRUE(m_log.Contains(m_source + L" is not used: " + deploy::kReasonForeign));
}

TEST_F(ServiceLibraryTest, NoDigestOrNoSourceLeavesNothingInTheFolder) {
    EXPECT_EQ(L"", Copy(L""));
    EXPECT_TRUE(m_log.Contains(m_source + L" is not used: " + deploy::kReasonNoDigest));
    DeleteFileW(m_source.c_str());
    EXPECT_EQ(L"", Copy());
    EXPECT_TRUE(m_log.Contains(m_source + L" is not used: " + deploy::kReasonSourceUnread));
    EXPECT_TRUE(FolderNames(m_folder).empty());
}

// The library still loaded by a running service host cannot be replaced in place: it leaves its
// name for the new copy and only its side name waits for the next start.
TEST_F(ServiceLibraryTest, ALibraryInUseLeavesItsNameForTheNewCopy) {
    MappedProgramImage image(m_library);
    ASSERT_TRUE(image.IsHeld());
    const std::wstring copied = Copy();
    image.Release();

    ASSERT_EQ(m_library, copied);
    EXPECT_EQ("abc", ReadTestFile(m_library));
    std::vector<std::wstring> sides;
    for (const std::wstring& name : FolderNames(m_folder)) {
        if (name != L"VTService.dll") sides.push_back(name);
    }
    ASSERT_EQ(1u, sides.size());
    EXPECT_TRUE(IsSideNameOf(sides[0], L"VTService.dll")) << std::string(sides[0].begin(), sides[0].end());
    EXPECT_TRUE(IsPending(m_folder + L"\\" + sides[0])) << "the old library goes at the next start";
    EXPECT_FALSE(IsPending(m_library));
    DeleteFileW((m_folder + L"\\" + sides[0]).c_str());
}

// ---- the uninstaller's removal -----------------------------------------------------------------

TEST_F(ServiceLibraryTest, RemovalTakesTheLibraryItsSideFilesAndTheFolder) {
    ASSERT_EQ(m_library, Copy());
    const std::wstring side = m_folder + L"\\" + UniqueSideName(L"VTService.dll");
    WriteTestBytes(side, "left by an earlier run");
    EXPECT_TRUE(RemoveServiceLibrary(m_folder));
    EXPECT_FALSE(FileOrFolderExists(m_folder));
    EXPECT_TRUE(RemoveServiceLibrary(m_folder)) << "nothing left is nothing to do";
}

TEST_F(ServiceLibraryTest, RemovalKeepsWhatTheSetupDidNotPutThere) {
    ASSERT_EQ(m_library, Copy());
    WriteTestBytes(m_folder + L"\\VTService.dll.txt", "not ours");
    WriteTestBytes(m_folder + L"\\Other\\VTService.dll", "not ours either");
    EXPECT_TRUE(RemoveServiceLibrary(m_folder));
    EXPECT_FALSE(FileExists(m_library));
    EXPECT_EQ("not ours", ReadTestFile(m_folder + L"\\VTService.dll.txt"));
    EXPECT_EQ("not ours either", ReadTestFile(m_folder + L"\\Other\\VTService.dll"));
    EXPECT_TRUE(m_log.Contains(deploy::kReasonNotEmpty));
}

TEST_F(ServiceLibraryTest, ALibraryInUseGoesAtTheNextStartWithItsFolder) {
    MappedProgramImage image(m_library);
    ASSERT_TRUE(image.IsHeld());
    const bool removed = RemoveServiceLibrary(m_folder);
    image.Release();

    EXPECT_TRUE(removed);
    EXPECT_FALSE(FileExists(m_library));
    const std::vector<std::wstring> left = FolderNames(m_folder);
    ASSERT_EQ(1u, left.size());
    EXPECT_TRUE(IsPending(m_folder + L"\\" + left[0]));
    EXPECT_TRUE(IsPending(m_folder)) << "the folder follows its last file";
}

// ---- links ---------------------------------------------------------------------------------------
// Wine shows a Linux symbolic link to a folder as a reparse point, and Windows code cannot make one
// under Wine: tests/deploy/test_service_library_links.py puts the links in a prefix and names them.

std::wstring FromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::wstring(value, value + strlen(value)) : std::wstring();
}

TEST(ServiceLibraryLinks, AFolderThatIsALinkOrLiesBehindOneIsRefused) {
    const std::wstring linkedFolder = FromEnvironment("PELORA_LINKED_LIBRARY_FOLDER");
    const std::wstring behindLink = FromEnvironment("PELORA_LIBRARY_FOLDER_BEHIND_LINK");
    if (linkedFolder.empty() || behindLink.empty())
        GTEST_SKIP() << "needs the links of tests/deploy/test_service_library_links.py";
    TestInstallLog log;
    ScratchFolder scratch;
    const std::wstring source = scratch / L"VTService.dll";
    WriteTestBytes(source, "abc");
    for (const std::wstring& folder : {linkedFolder, behindLink}) {
        EXPECT_FALSE(OpenAdminOnlyFolder(folder).IsValid());
        EXPECT_EQ(L"", ProvideServiceLibrary(folder, source, kAbcDigest));
        EXPECT_TRUE(log.Contains(folder + L" is not used: " + deploy::kReasonLinkOnWay));
        EXPECT_FALSE(RemoveServiceLibrary(folder)) << "nothing is removed through a link";
    }
}

}  // namespace
