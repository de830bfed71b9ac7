#include "deploy/system_files.h"

#include "deploy/deploy_constants.h"
#include "deploy/file_hash.h"
#include "deploy/file_system.h"
#include "deploy/files/nt_files.h"
#include "deploy/install_paths.h"
#include "deploy/registered_path.h"
#include "deploy/registration_removal_constants.h"
#include "deploy/registry_keys.h"
#include "deploy/registry_value.h"
#include "deploy/system_file_hashes.h"
#include "diag/install_log.h"
#include "diag/win_handle.h"
#include "extract/extract_constants.h"

namespace {

constexpr DWORD kCompareChunkBytes = 64 * 1024;

bool Contains(const std::vector<std::wstring>& paths, const std::wstring& path) {
    for (const std::wstring& listed : paths) {
        if (NamesSamePath(listed, path)) return true;
    }
    return false;
}

diag::ScopedHandle OpenForReading(const std::wstring& path) {
    return diag::ScopedHandle(CreateFileW(path.c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// True when both files can be read and hold the same bytes.
bool SameContent(const std::wstring& left, const std::wstring& right) {
    diag::ScopedHandle first = OpenForReading(left);
    diag::ScopedHandle second = OpenForReading(right);
    LARGE_INTEGER firstSize = {};
    LARGE_INTEGER secondSize = {};
    if (!first.IsValid() || !second.IsValid() || !GetFileSizeEx(first.Get(), &firstSize) ||
        !GetFileSizeEx(second.Get(), &secondSize) || firstSize.QuadPart != secondSize.QuadPart) {
        return false;
    }
    std::vector<char> firstChunk(kCompareChunkBytes);
    std::vector<char> secondChunk(kCompareChunkBytes);
    for (LONGLONG left = firstSize.QuadPart; left > 0;) {
        const DWORD wanted = left < kCompareChunkBytes ? static_cast<DWORD>(left) : kCompareChunkBytes;
        DWORD firstRead = 0;
        DWORD secondRead = 0;
        if (!ReadFile(first.Get(), firstChunk.data(), wanted, &firstRead, nullptr) ||
            !ReadFile(second.Get(), secondChunk.data(), wanted, &secondRead, nullptr) || firstRead != wanted ||
            secondRead != wanted || memcmp(firstChunk.data(), secondChunk.data(), wanted) != 0) {
            return false;
        }
        left -= wanted;
    }
    return true;
}

enum class Removal { kRemoved, kKept, kFailed };

// Deletes the system file at `place` when its bytes still hash to `recorded`, through the handle
// they were read from: nobody can write the file or put another in its place meanwhile. A file in
// use is moved aside and deleted at the next start. Kept (logged) when it is a link or its bytes
// differ; failed (logged) when it cannot be opened, read or removed.
Removal RemoveIfUnchanged(const std::wstring& place, const std::wstring& recorded) {
    diag::ScopedHandle file(CreateFileW(place.c_str(), GENERIC_READ | DELETE | FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.IsValid()) {
        InstallLog::Format(deploy::kLogSystemFileUnreadable, place.c_str(), GetLastError());
        return Removal::kFailed;
    }
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!GetFileInformationByHandle(file.Get(), &information)) {
        InstallLog::Format(deploy::kLogSystemFileUnreadable, place.c_str(), GetLastError());
        return Removal::kFailed;
    }
    if (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        InstallLog::Format(deploy::kLogSystemFileLinkKept, place.c_str());
        return Removal::kKept;
    }
    const std::wstring current = Sha256OfOpenFile(file.Get(), place);
    if (current.empty()) return Removal::kFailed;  // logged by the hash
    if (_wcsicmp(current.c_str(), recorded.c_str()) != 0) {
        InstallLog::Format(deploy::kLogSystemFileHashDiffers, place.c_str(), current.c_str(), recorded.c_str());
        return Removal::kKept;
    }
    DWORD error = 0;
    if (files::ClearReadOnly(file.Get(), information.dwFileAttributes) && files::MarkForDeletion(file.Get(), &error)) {
        file.Reset();
        InstallLog::Format(deploy::kLogSystemFileRemoved, place.c_str());
        return Removal::kRemoved;
    }
    if (error == 0) error = GetLastError();
    // A loaded library cannot be deleted but can be renamed; the handle has to let go first.
    file.Reset();
    if (MoveAside(place)) {
        InstallLog::Format(deploy::kLogSystemFileMovedAside, place.c_str());
        return Removal::kRemoved;
    }
    InstallLog::Format(deploy::kLogSystemFileFailed, place.c_str(), error);
    return Removal::kFailed;
}

// Rewrites the list of the product key under `hive` to `left`, removing the value when it is empty,
// and the machine-wide hashes with it.
void RewriteRecord(HKEY hive, const std::vector<std::wstring>& left) {
    KeepSystemFileHashes(left);
    diag::ScopedRegKey key;
    LONG result = RegOpenKeyExW(hive, deploy::kProductKey, 0, KEY_SET_VALUE, key.Receive());
    if (result == ERROR_SUCCESS) {
        result = left.empty() ? RegDeleteValueW(key.Get(), deploy::kValueSystemFiles)
                              : WriteMultiStringValue(key.Get(), deploy::kValueSystemFiles, left);
    }
    if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND)
        InstallLog::Format(deploy::kLogUndoFailed, HiveName(hive), deploy::kProductKey,
                           deploy::kValueSystemFiles, result);
}

}  // namespace

std::wstring SystemHelperDllPath() {
    wchar_t folder[MAX_PATH + 1] = {};
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return std::wstring();
    return JoinPath(folder, extract::kHelperDllName);
}

std::wstring SystemProfilePath() { return deploy::kSystemProfilePath; }

bool SystemFileNotes::FileOrFolderAt(const std::wstring& path) { return FileOrFolderExists(path); }

void SystemFileNotes::Note(const std::wstring& path) {
    if (FileExists(path) && !Contains(m_created, path)) m_created.push_back(path);
}

bool RecordSystemFiles(HKEY hive, const std::vector<std::wstring>& created) {
    if (created.empty()) return true;
    diag::ScopedRegKey key;
    LONG result = RegOpenKeyExW(hive, deploy::kProductKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, key.Receive());
    if (result != ERROR_SUCCESS) {
        InstallLog::Format(deploy::kLogSystemFilesRecordFailed, deploy::kProductKey, result);
        return false;
    }
    std::vector<std::wstring> listed;
    ReadMultiStringValue(key.Get(), deploy::kValueSystemFiles, listed);
    bool added = false;
    for (const std::wstring& path : created) {
        if (Contains(listed, path)) continue;
        listed.push_back(path);
        added = true;
    }
    if (added) {
        result = WriteMultiStringValue(key.Get(), deploy::kValueSystemFiles, listed);
        if (result != ERROR_SUCCESS) {
            InstallLog::Format(deploy::kLogSystemFilesRecordFailed, deploy::kProductKey, result);
            return false;
        }
    }
    // A file listed by an earlier run and created again now has this run's bytes.
    return RecordSystemFileHashes(created);
}

std::vector<std::wstring> ReadRecordedSystemFiles(HKEY hive) {
    std::vector<std::wstring> listed;
    diag::ScopedRegKey key;
    if (OpenKeyForReading(hive, deploy::kProductKey, key))
        ReadMultiStringValue(key.Get(), deploy::kValueSystemFiles, listed);
    return listed;
}

bool RemoveRecordedSystemFiles(HKEY hive, const std::wstring& versionFolder) {
    const std::vector<std::wstring> listed = ReadRecordedSystemFiles(hive);
    if (listed.empty()) return true;
    const std::wstring helper = SystemHelperDllPath();
    const std::wstring profile = SystemProfilePath();
    const std::wstring ownProfile = JoinPath(versionFolder, deploy::kSystemProfileFileName);
    const std::vector<SystemFileHash> hashes = ReadSystemFileHashes();

    std::vector<std::wstring> left;
    std::vector<std::wstring> done;
    for (const std::wstring& path : listed) {
        // Only the two places are ever touched, whatever the list says: the list is the user's.
        const std::wstring place =
            NamesSamePath(path, helper) ? helper : NamesSamePath(path, profile) ? profile : std::wstring();
        if (place.empty()) {
            InstallLog::Format(deploy::kLogSystemFilesIgnored, path.c_str());
            continue;
        }
        if (Contains(done, place)) continue;
        done.push_back(place);
        // Gone already, or a folder of that name, which is not the setup's.
        if (!FileExists(place)) continue;
        const std::wstring recorded = RecordedHashOf(hashes, place);
        if (recorded.empty()) {
            InstallLog::Format(deploy::kLogSystemFileNoHash, place.c_str());
            continue;
        }
        if (place == profile && (versionFolder.empty() || !SameContent(profile, ownProfile))) {
            InstallLog::Format(deploy::kLogSystemFileChanged, profile.c_str(), ownProfile.c_str());
            continue;
        }
        if (RemoveIfUnchanged(place, recorded) == Removal::kFailed) left.push_back(place);
    }
    RewriteRecord(hive, left);
    return left.empty();
}
