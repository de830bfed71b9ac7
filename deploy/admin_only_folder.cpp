#include "deploy/admin_only_folder.h"

#include <aclapi.h>
#include <sddl.h>

#include "deploy/files/held_folder.h"
#include "deploy/files/path_identity.h"
#include "deploy/install_paths.h"
#include "deploy/service_library_constants.h"
#include "diag/install_log.h"
#include "diag/service_handle.h"

namespace {

bool g_echoForTesting = false;

// What the folder is opened for: its owner and access list, and holding it while it is used.
constexpr DWORD kFolderAccess = READ_CONTROL | WRITE_DAC | WRITE_OWNER | FILE_LIST_DIRECTORY | FILE_TRAVERSE;

// Rights that let their holder change what the folder holds or who may change it.
constexpr ACCESS_MASK kWriteRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_DELETE_CHILD |
                                     FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                                     GENERIC_ALL;

bool IsSystemOrAdministrators(PSID sid) {
    return sid != nullptr && IsValidSid(sid) &&
           (IsWellKnownSid(sid, WinLocalSystemSid) || IsWellKnownSid(sid, WinBuiltinAdministratorsSid));
}

bool Fail(const wchar_t** problem, const wchar_t* reason) {
    if (problem) *problem = reason;
    return false;
}

bool Refused(const std::wstring& folder, const wchar_t* reason) {
    InstallLog::Format(deploy::kLogLibraryFolderRefused, folder.c_str(), reason);
    return false;
}

bool Failed(const std::wstring& folder, const wchar_t* reason, DWORD error) {
    InstallLog::Format(deploy::kLogLibraryFolderFailed, folder.c_str(), reason, error);
    return false;
}

// Holds the folder above `full` from the drive root down; false, logged, when that is refused.
bool HoldParent(const std::wstring& full, files::HeldFolder& parent) {
    const std::wstring above = files::FolderAbove(full);
    parent = files::HeldFolder::Open(above, above);
    if (parent.IsValid()) return true;
    parent.LogRefusal(full);
    const bool linked = lstrcmpW(parent.Reason(), L"link") == 0 || lstrcmpW(parent.Reason(), L"swapped") == 0;
    return linked ? Refused(full, deploy::kReasonLinkOnWay) : Failed(full, deploy::kReasonNotHeld, parent.Error());
}

// The entry of the folder `full` in its held `parent`; the folder is created with `descriptor` when
// it is missing, and the parent held anew: only the entry a fresh listing shows counts.
bool FindOrCreate(const std::wstring& full, PSECURITY_DESCRIPTOR descriptor, files::HeldFolder& parent,
                  files::FolderEntry& entry) {
    const std::wstring name = LastComponent(full);
    if (parent.FindEntry(name, entry)) return true;
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
    if (!CreateDirectoryW(full.c_str(), &attributes) && GetLastError() != ERROR_ALREADY_EXISTS)
        return Failed(full, deploy::kReasonCreateFailed, GetLastError());
    if (!HoldParent(full, parent)) return false;
    return parent.FindEntry(name, entry) || Failed(full, deploy::kReasonCreateFailed, GetLastError());
}

// Sets the owner and the protected list of `descriptor` on what `handle` holds.
DWORD SetOwnerAndList(HANDLE handle, PSECURITY_DESCRIPTOR descriptor) {
    PSID owner = nullptr;
    PACL list = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) ||
        !GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted) || !present) {
        return ERROR_INVALID_SECURITY_DESCR;
    }
    return SetSecurityInfo(handle, SE_FILE_OBJECT,
                           OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                               PROTECTED_DACL_SECURITY_INFORMATION,
                           owner, nullptr, list, nullptr);
}

// Opens the folder `full` (made with `descriptor` when missing) inside its held parent, as the
// entry the parent lists; invalid, logged, when it is refused.
diag::ScopedHandle OpenFolder(const std::wstring& full, PSECURITY_DESCRIPTOR descriptor) {
    // The parent stays held from the drive root down until the folder's own handle is open.
    files::HeldFolder parent;
    files::FolderEntry entry;
    if (!HoldParent(full, parent) || !FindOrCreate(full, descriptor, parent, entry)) return diag::ScopedHandle();
    bool swapped = entry.IsLink();
    diag::ScopedHandle folder;
    if (entry.IsFolder() && !swapped) folder = files::OpenListedEntry(parent.Handle(), entry, kFolderAccess, &swapped);
    if (folder.IsValid()) return folder;
    if (swapped) {
        Refused(full, deploy::kReasonLinkOnWay);
    } else if (!entry.IsFolder()) {
        Refused(full, deploy::kReasonNoFolder);
    } else {
        Failed(full, deploy::kReasonOpenFailed, GetLastError());
    }
    return diag::ScopedHandle();
}

// Sets the owner and the list of `wanted` on `folder` and checks what the system reports back;
// false, logged, when the folder must not be used.
bool SetAndCheck(const std::wstring& full, HANDLE folder, PSECURITY_DESCRIPTOR wanted) {
    const DWORD set = SetOwnerAndList(folder, wanted);
    if (set != ERROR_SUCCESS) return Failed(full, deploy::kReasonAccessListUnset, set);
    diag::ScopedLocalMemory readBack;
    const DWORD read = GetSecurityInfo(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                       nullptr, nullptr, nullptr, nullptr,
                                       reinterpret_cast<PSECURITY_DESCRIPTOR*>(readBack.Receive()));
    if (read != ERROR_SUCCESS) return Failed(full, deploy::kReasonAccessListUnread, read);
    const wchar_t* problem = nullptr;
    if (IsAdminOnly(g_echoForTesting ? wanted : readBack.Get(), &problem)) return true;
    return Refused(full, problem);
}

}  // namespace

bool IsAdminOnly(PSECURITY_DESCRIPTOR descriptor, const wchar_t** problem) {
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!descriptor || !GetSecurityDescriptorControl(descriptor, &control, &revision))
        return Fail(problem, deploy::kReasonAccessListUnread);
    BOOL present = FALSE, defaulted = FALSE;
    PACL list = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted))
        return Fail(problem, deploy::kReasonAccessListUnread);
    if (!present || list == nullptr) return Fail(problem, deploy::kReasonNoAccessList);
    if ((control & SE_DACL_PROTECTED) == 0) return Fail(problem, deploy::kReasonNotProtected);
    for (DWORD i = 0; i < list->AceCount; ++i) {
        void* entry = nullptr;
        if (!GetAce(list, i, &entry)) return Fail(problem, deploy::kReasonAccessListUnread);
        const BYTE type = static_cast<ACE_HEADER*>(entry)->AceType;
        if (type == ACCESS_DENIED_ACE_TYPE) continue;
        if (type != ACCESS_ALLOWED_ACE_TYPE) return Fail(problem, deploy::kReasonUnknownEntry);
        // Inherit-only entries count too: they are what the library inside gets.
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
        if ((allowed->Mask & kWriteRights) != 0 && !IsSystemOrAdministrators(&allowed->SidStart))
            return Fail(problem, deploy::kReasonOtherWriter);
    }
    PSID owner = nullptr;
    if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || !IsSystemOrAdministrators(owner))
        return Fail(problem, deploy::kReasonForeignOwner);
    return true;
}

diag::ScopedHandle OpenAdminOnlyFolder(const std::wstring& path) {
    const std::wstring full = files::FullPath(path);
    diag::ScopedLocalMemory wanted;
    if (full.empty() || files::FolderAbove(full).empty()) {
        Refused(path, deploy::kReasonNoFolder);
    } else if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
                   deploy::kServiceLibraryAccessList, SDDL_REVISION_1,
                   reinterpret_cast<PSECURITY_DESCRIPTOR*>(wanted.Receive()), nullptr)) {
        Failed(full, deploy::kReasonAccessListUnset, GetLastError());
    } else {
        diag::ScopedHandle folder = OpenFolder(full, wanted.Get());
        if (folder.IsValid() && SetAndCheck(full, folder.Get(), wanted.Get())) return folder;
    }
    return diag::ScopedHandle();
}

void SetAccessListEchoForTesting(bool echo) { g_echoForTesting = echo; }
