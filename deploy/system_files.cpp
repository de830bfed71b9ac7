#include "deploy/system_files.h"

#include "deploy/deploy_constants.h"
#include "deploy/file_system.h"
#include "deploy/install_paths.h"
#include "deploy/registration_removal_constants.h"
#include "deploy/registry_keys.h"
#include "deploy/registry_value.h"
#include "diag/install_log.h"
#include "diag/win_handle.h"
#include "extract/extract_constants.h"

namespace {

constexpr DWORD kCompareChunkBytes = 64 * 1024;

bool SamePath(const std::wstring& left, const std::wstring& right) {
    return !left.empty() && _wcsicmp(left.c_str(), right.c_str()) == 0;
}

bool Contains(const std::vector<std::wstring>& paths, const std::wstring& path) {
    for (const std::wstring& listed : paths) {
        if (SamePath(listed, path)) return true;
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

// Deletes the file at `path`, or moves it aside when it is in use. True when it is gone from there
// (also when no file is there: a folder of that name is not the setup's).
bool RemoveSystemFile(const std::wstring& path) {
    if (!FileExists(path)) return true;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (DeleteFileW(path.c_str())) {
        InstallLog::Format(deploy::kLogSystemFileRemoved, path.c_str());
        return true;
    }
    const DWORD error = GetLastError();
    if (MoveAside(path)) {
        InstallLog::Format(deploy::kLogSystemFileMovedAside, path.c_str());
        return true;
    }
    InstallLog::Format(deploy::kLogSystemFileFailed, path.c_str(), error);
    return false;
}

// Rewrites the list of the product key under `hive` to `left`, removing the value when it is empty.
void RewriteRecord(HKEY hive, const std::vector<std::wstring>& left) {
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
    if (!added) return true;
    result = WriteMultiStringValue(key.Get(), deploy::kValueSystemFiles, listed);
    if (result == ERROR_SUCCESS) return true;
    InstallLog::Format(deploy::kLogSystemFilesRecordFailed, deploy::kProductKey, result);
    return false;
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

    std::vector<std::wstring> left;
    for (const std::wstring& path : listed) {
        if (SamePath(path, helper)) {
            if (!RemoveSystemFile(helper) && !Contains(left, helper)) left.push_back(helper);
        } else if (SamePath(path, profile)) {
            if (!FileExists(profile)) continue;
            if (versionFolder.empty() || !SameContent(profile, ownProfile)) {
                InstallLog::Format(deploy::kLogSystemFileChanged, profile.c_str(), ownProfile.c_str());
                continue;
            }
            if (!RemoveSystemFile(profile) && !Contains(left, profile)) left.push_back(profile);
        } else {
            InstallLog::Format(deploy::kLogSystemFilesIgnored, path.c_str());
        }
    }
    RewriteRecord(hive, left);
    return left.empty();
}
