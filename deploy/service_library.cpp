#include "deploy/service_library.h"

#include <windows.h>

#include <shlobj.h>

#include <vector>

#include "deploy/admin_only_folder.h"
#include "deploy/deferred_removal.h"
#include "deploy/deploy_constants.h"
#include "deploy/file_hash.h"
#include "deploy/file_system.h"
#include "deploy/files/held_folder.h"
#include "deploy/files/nt_files.h"
#include "deploy/install_paths.h"
#include "deploy/service_library_constants.h"
#include "deploy/verified_code.h"
#include "diag/install_log.h"
#include "diag/win_handle.h"

namespace {

constexpr DWORD kCopyChunkBytes = 64 * 1024;

bool Refused(const std::wstring& file, const wchar_t* reason) {
    InstallLog::Format(deploy::kLogLibraryRefused, file.c_str(), reason);
    return false;
}

bool Failed(const std::wstring& file, const wchar_t* reason, DWORD error) {
    InstallLog::Format(deploy::kLogLibraryFailed, file.c_str(), reason, error);
    return false;
}

bool NotRemoved(const std::wstring& folder, const wchar_t* reason) {
    InstallLog::Format(deploy::kLogLibraryNotRemoved, folder.c_str(), reason, GetLastError());
    return false;
}

bool IsPlainFile(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION information = {};
    return GetFileInformationByHandle(file, &information) &&
           (information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
}

bool CopyBytes(HANDLE from, HANDLE to) {
    std::vector<BYTE> chunk(kCopyChunkBytes);
    for (;;) {
        DWORD read = 0, written = 0;
        if (!ReadFile(from, chunk.data(), kCopyChunkBytes, &read, nullptr)) return false;
        if (read == 0) return true;
        if (!WriteFile(to, chunk.data(), read, &written, nullptr) || written != read) return false;
    }
}

// Writes the bytes of `source`, opened as itself (no link followed), to the new file `copy`. A
// copy that cannot be written whole is deleted.
bool CopyLibrary(const std::wstring& source, const std::wstring& copy) {
    if (!RefuseLinkOnPath(source)) return Refused(source, deploy::kReasonLinkOnPath);
    const diag::ScopedHandle from(CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                              FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!from.IsValid()) return Failed(source, deploy::kReasonSourceUnread, GetLastError());
    if (!IsPlainFile(from.Get())) return Refused(source, deploy::kReasonNotAFile);
    const diag::ScopedHandle to(
        CreateFileW(copy.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!to.IsValid()) return Failed(copy, deploy::kReasonCopyFailed, GetLastError());
    if (CopyBytes(from.Get(), to.Get())) return true;
    const DWORD error = GetLastError();
    files::MarkForDeletion(to.Get());
    return Failed(copy, deploy::kReasonCopyFailed, error);
}

// Compares the SHA-256 of `copy`, read through a handle that others may only read through, with
// `expectedSha256`; a copy that differs is deleted through that handle. `source` names the file
// in the log.
bool KeepIfDigestMatches(const std::wstring& copy, const std::wstring& source, const std::wstring& expectedSha256) {
    const diag::ScopedHandle file(CreateFileW(copy.c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ, nullptr,
                                              OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.IsValid()) {
        const DWORD error = GetLastError();
        DeleteFileW(copy.c_str());
        return Failed(copy, deploy::kReasonCannotHold, error);
    }
    const std::wstring digest = Sha256OfOpenFile(file.Get(), copy);
    if (!digest.empty() && _wcsicmp(digest.c_str(), expectedSha256.c_str()) == 0) return true;
    files::MarkForDeletion(file.Get());
    return Refused(source, digest.empty() ? deploy::kReasonCannotHash : deploy::kReasonForeign);
}

// Moves `copy` over `target` in `folder`. A target still loaded by a running service host cannot
// be replaced: it leaves its name first and goes at the next start.
bool PutInPlace(const std::wstring& folder, const std::wstring& copy, const std::wstring& target) {
    if (MoveFileExW(copy.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    {
        const files::HeldFolder held = files::HeldFolder::Open(folder, folder);
        files::FolderEntry entry;
        if (held.IsValid() && held.FindEntry(LastComponent(target), entry) && !entry.IsFolder())
            DeleteOrDefer(held, entry);
    }
    if (MoveFileExW(copy.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    const DWORD error = GetLastError();
    DeleteFileW(copy.c_str());
    return Failed(target, deploy::kReasonNotPlaced, error);
}

bool IsLibraryEntry(const files::FolderEntry& entry) {
    if (entry.IsFolder() && !entry.IsLink()) return false;
    return lstrcmpiW(entry.name.c_str(), deploy::kServiceDllFileName) == 0 ||
           IsSideNameOf(entry.name, deploy::kServiceDllFileName);
}

}  // namespace

std::wstring ServiceLibraryFolder() {
    wchar_t programFiles[MAX_PATH] = {};
    const HRESULT result = SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, programFiles);
    if (FAILED(result) || programFiles[0] == L'\0') {
        InstallLog::Format(deploy::kLogLibraryNoProgramFiles, static_cast<unsigned long>(result));
        return std::wstring();
    }
    return JoinPath(programFiles, deploy::kServiceLibraryFolderName);
}

std::wstring ProvideServiceLibrary(const std::wstring& folder, const std::wstring& source,
                                   const std::wstring& expectedSha256) {
    if (expectedSha256.empty()) {
        Refused(source, deploy::kReasonNoDigest);
        return std::wstring();
    }
    // Held, the folder can be neither renamed nor replaced until the library is in place.
    const diag::ScopedHandle held = OpenAdminOnlyFolder(folder);
    if (!held.IsValid()) return std::wstring();
    return CopyServiceLibrary(folder, source, expectedSha256);
}

std::wstring CopyServiceLibrary(const std::wstring& folder, const std::wstring& source,
                                const std::wstring& expectedSha256) {
    if (expectedSha256.empty()) {
        Refused(source, deploy::kReasonNoDigest);
        return std::wstring();
    }
    const std::wstring target = JoinPath(folder, deploy::kServiceDllFileName);
    const std::wstring copy = JoinPath(folder, UniqueSideName(deploy::kServiceDllFileName));
    if (!CopyLibrary(source, copy) || !KeepIfDigestMatches(copy, source, expectedSha256) ||
        !PutInPlace(folder, copy, target)) {
        return std::wstring();
    }
    InstallLog::Format(deploy::kLogLibraryProvided, source.c_str(), target.c_str());
    return target;
}

bool RemoveServiceLibrary(const std::wstring& folder) {
    if (folder.empty() || !FileOrFolderExists(folder)) return true;
    bool deferred = false;
    bool left = false;
    bool foreign = false;
    {
        const files::HeldFolder held = files::HeldFolder::Open(folder, folder);
        std::vector<files::FolderEntry> entries;
        if (!held.IsValid()) {
            held.LogRefusal(folder);
            return false;
        }
        if (!files::ListFolder(held.Handle(), entries)) return NotRemoved(folder, deploy::kReasonOpenFailed);
        for (const files::FolderEntry& entry : entries) {
            if (!IsLibraryEntry(entry)) {
                foreign = true;
                continue;
            }
            const RemovalOutcome outcome = DeleteOrDefer(held, entry);
            if (outcome == RemovalOutcome::kRemoved)
                InstallLog::Format(deploy::kLogLibraryRemoved, JoinPath(folder, entry.name).c_str());
            deferred = deferred || outcome == RemovalOutcome::kDeferred;
            left = left || outcome == RemovalOutcome::kLeft;
        }
    }
    if (left) return false;
    if (foreign) {
        InstallLog::Format(deploy::kLogLibraryKept, folder.c_str(), deploy::kReasonNotEmpty);
        return true;
    }
    if (RemoveEmptyFolder(folder)) return true;
    // Kept only by files that go at the next start, it goes right after them then.
    if (deferred && MoveFileExW(folder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) return true;
    return NotRemoved(folder, deploy::kReasonNotRemoved);
}
