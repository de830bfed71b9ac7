#include "extract/payload_extractor.h"

#include <cstdint>

#include "common/product.h"
#include "diag/install_log.h"
#include "diag/win_handle.h"
#include "diag/windows_version.h"
#include "extract/extract_constants.h"
#include "extract/extract_seams.h"

namespace {

using namespace extract;

int ElapsedMs(DWORD start) { return static_cast<int>(GetTickCount() - start); }

bool IsCancelled(IExtractProgressCallback* callback) {
    return callback != nullptr && callback->IsCancelled();
}

// Too little space on C: is the likely cause of a failed extraction whatever drive the staging
// folder is on; a drive that cannot be asked counts as full.
bool IsSystemDriveLow() {
    std::uint64_t freeBytes = 0;
    if (!QueryFreeSpace(kDiskLowDrive, &freeBytes)) return true;
    return freeBytes < kDiskLowBelowBytes;
}

bool FileExists(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    diag::ScopedFindHandle find(FindFirstFileW(path.c_str(), &data));
    return find.IsValid();
}

std::wstring JoinPath(const std::wstring& folder, const wchar_t* name) {
    return folder + L"\\" + name;
}

// A folder that does not fit its 260-character buffer is treated as unavailable, never cut.
bool AcceptFolder(const wchar_t* buffer, DWORD length, std::wstring* folder) {
    if (length == 0 || length >= kPathChars) return false;
    folder->assign(buffer, length);
    return true;
}

bool ReadSystemFolder(std::wstring* folder) {
    wchar_t buffer[kPathChars] = {};
    return AcceptFolder(buffer, GetSystemDirectoryW(buffer, kPathChars), folder);
}

bool ReadCurrentFolder(std::wstring* folder) {
    wchar_t buffer[kPathChars] = {};
    return AcceptFolder(buffer, GetCurrentDirectoryW(kPathChars, buffer), folder);
}

}  // namespace

int ExtractResource(IExtractProgressCallback* callback, const std::wstring& targetFolder,
                    HINSTANCE module, const wchar_t* type, int id) {
    const bool isHelper = id == product::kHelperResourceId;
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(id), type);
    HGLOBAL loaded = resource ? LoadResource(module, resource) : nullptr;
    const void* locked = loaded ? LockResource(loaded) : nullptr;
    const DWORD size = resource ? SizeofResource(module, resource) : 0;

    // The log shows the low 32 bits of the address, enough to tell a mapped resource from none.
    const unsigned address = static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(locked));
    InstallLog::Format(isHelper ? kLogHelperResource : kLogPayloadResource, static_cast<int>(size),
                       address);
    if (locked == nullptr) return -1;

    const int result = ExtractArchive(callback, targetFolder, locked, size);
    if (!isHelper) InstallLog::Format(kLogPayloadResult, result);
    FreeResource(loaded);
    return result;
}

bool ExtractPayload(const wchar_t* resourceType, int resourceId, HINSTANCE module,
                    const std::wstring& stagingFolder, bool* diskLow,
                    IExtractProgressCallback* callback) {
    const DWORD start = GetTickCount();
    // The staging folder is a short per-user path; one that would not fit the folder routines'
    // buffers is refused rather than cut.
    if (stagingFolder.size() < kPathChars) {
        for (int remaining = kPayloadAttempts; remaining > 0 && !IsCancelled(callback); --remaining) {
            const int result = ExtractResource(callback, stagingFolder, module, resourceType, resourceId);
            // A cancelled attempt staged part of the payload only: it is neither used nor repeated.
            if (IsCancelled(callback)) break;
            if (result != 0) {
                InstallLog::Format(kLogAttemptFailed, remaining);
                RetryWait(kRetryWaitMs, callback);
                continue;
            }
            InstallLog::Format(kLogExtractSucceeded, ElapsedMs(start));
            // A runtime copy that fails will fail again: the files came from this very archive.
            if (!CopyTempSysDirToTempBin(stagingFolder)) break;
            InstallLog::Format(kLogPayloadDone, ElapsedMs(start));
            return true;
        }
    }
    if (IsCancelled(callback)) {
        InstallLog::Format(kLogPayloadCancelled);
        return false;
    }
    InstallLog::Format(kLogPayloadFailed);
    if (diskLow) *diskLow = IsSystemDriveLow();
    return false;
}

bool ExtractHelperDll(HINSTANCE module, const wchar_t* resourceType, int resourceId) {
    // Nothing is needed before Windows Vista.
    // A version that cannot be read counts as Vista or later.
    const uint32_t majorVersion = OsMajorVersion();
    if (majorVersion != 0 && majorVersion < 6) return true;

    std::wstring systemFolder;
    std::wstring currentFolder;
    const bool haveSystemFolder = ReadSystemFolder(&systemFolder);
    const bool haveCurrentFolder = ReadCurrentFolder(&currentFolder);

    if (haveSystemFolder) {
        if (ExtractResource(nullptr, systemFolder, module, resourceType, resourceId) == 0)
            return true;
        if (FileExists(JoinPath(systemFolder, kHelperDllName))) return true;
    }
    if (haveCurrentFolder &&
        ExtractResource(nullptr, currentFolder, module, resourceType, resourceId) == 0) {
        const std::wstring helper = JoinPath(currentFolder, kHelperDllName);
        const DWORD attributes = GetFileAttributesW(helper.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES)
            SetFileAttributesW(helper.c_str(), attributes | FILE_ATTRIBUTE_HIDDEN);
        return true;
    }
    InstallLog::Format(kLogHelperFailed);
    return false;
}
