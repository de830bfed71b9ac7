#include "deploy/files/nt_files.h"

#include <winternl.h>

#include <cstddef>

// The native calls behind the folder-relative routines; ntdll has had them since Windows NT.
extern "C" {
NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE file, HANDLE event, PVOID apcRoutine, PVOID apcContext,
                                    PIO_STATUS_BLOCK ioStatus, PVOID buffer, ULONG length, ULONG informationClass,
                                    BOOLEAN singleEntry, PUNICODE_STRING fileName, BOOLEAN restartScan);
ULONG NTAPI RtlNtStatusToDosError(NTSTATUS status);
}

namespace files {
namespace {

constexpr auto kFileBasicInformation = static_cast<FILE_INFORMATION_CLASS>(4);
constexpr auto kFileDispositionInformation = static_cast<FILE_INFORMATION_CLASS>(13);
constexpr ULONG kFileIdBothDirectoryInformation = 37;
constexpr ULONG kOpenReparsePoint = 0x00200000;
constexpr ULONG kOpenForBackupIntent = 0x00004000;
constexpr ULONG kSynchronousIoNonAlert = 0x00000020;
constexpr ULONG kOpenExisting = 1;  // FILE_OPEN
constexpr ULONG kCaseInsensitive = 0x40;
constexpr NTSTATUS kNoMoreFiles = static_cast<NTSTATUS>(0x80000006L);
constexpr ULONG kListBufferBytes = 16 * 1024;

// The listing record of one entry, as the file systems write it (the same layout on 32 and 64 bits).
struct IdBothDirectoryRecord {
    ULONG nextEntryOffset;
    ULONG fileIndex;
    LARGE_INTEGER creationTime;
    LARGE_INTEGER lastAccessTime;
    LARGE_INTEGER lastWriteTime;
    LARGE_INTEGER changeTime;
    LARGE_INTEGER endOfFile;
    LARGE_INTEGER allocationSize;
    ULONG fileAttributes;
    ULONG fileNameLength;
    ULONG eaSize;
    CCHAR shortNameLength;
    WCHAR shortName[12];
    LARGE_INTEGER fileId;
    WCHAR fileName[1];
};
static_assert(offsetof(IdBothDirectoryRecord, fileAttributes) == 56, "listing record layout");
static_assert(offsetof(IdBothDirectoryRecord, fileId) == 96, "listing record layout");
static_assert(offsetof(IdBothDirectoryRecord, fileName) == 104, "listing record layout");

struct BasicInformation {
    LARGE_INTEGER creationTime;
    LARGE_INTEGER lastAccessTime;
    LARGE_INTEGER lastWriteTime;
    LARGE_INTEGER changeTime;
    ULONG fileAttributes;
};
static_assert(sizeof(BasicInformation) == 40, "basic information layout");

DWORD ShareMode(Sharing sharing) {
    const DWORD readWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;
    return sharing == Sharing::kAll ? readWrite | FILE_SHARE_DELETE : readWrite;
}

bool IsSingleName(const std::wstring& name) {
    return !name.empty() && name != L"." && name != L".." && name.find_first_of(L"\\/:") == std::wstring::npos;
}

}  // namespace

diag::ScopedHandle OpenInFolder(HANDLE parent, const std::wstring& name, DWORD access, Sharing sharing,
                                long* status) {
    if (status) *status = static_cast<long>(0xC0000033L);  // STATUS_OBJECT_NAME_INVALID
    if (parent == nullptr || !IsSingleName(name) || name.size() * sizeof(wchar_t) > 0xFFFE) return diag::ScopedHandle();
    UNICODE_STRING objectName;
    objectName.Buffer = const_cast<PWSTR>(name.c_str());
    objectName.Length = objectName.MaximumLength = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &objectName, kCaseInsensitive, parent, nullptr);
    IO_STATUS_BLOCK io = {};
    HANDLE handle = nullptr;
    const NTSTATUS result =
        NtCreateFile(&handle, access | SYNCHRONIZE, &attributes, &io, nullptr, 0, ShareMode(sharing), kOpenExisting,
                     kOpenReparsePoint | kOpenForBackupIntent | kSynchronousIoNonAlert, nullptr, 0);
    if (status) *status = static_cast<long>(result);
    if (result < 0) {
        SetLastError(RtlNtStatusToDosError(result));
        return diag::ScopedHandle();
    }
    return diag::ScopedHandle(handle);
}

diag::ScopedHandle OpenForIdentity(const std::wstring& path, DWORD access, Sharing sharing) {
    if (path.empty()) return diag::ScopedHandle();
    return diag::ScopedHandle(CreateFileW(path.c_str(), access, ShareMode(sharing), nullptr, OPEN_EXISTING,
                                          FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

bool QueryIdentity(HANDLE handle, FileIdentity& identity, DWORD* attributes) {
    BY_HANDLE_FILE_INFORMATION information = {};
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(handle, &information))
        return false;
    identity.volume = information.dwVolumeSerialNumber;
    identity.index = (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
    if (attributes) *attributes = information.dwFileAttributes;
    return true;
}

bool ListFolder(HANDLE folder, std::vector<FolderEntry>& entries) {
    entries.clear();
    // LARGE_INTEGER members need an 8-byte aligned buffer.
    std::vector<uint64_t> buffer(kListBufferBytes / sizeof(uint64_t));
    for (BOOLEAN restart = TRUE;; restart = FALSE) {
        IO_STATUS_BLOCK io = {};
        const NTSTATUS result = NtQueryDirectoryFile(folder, nullptr, nullptr, nullptr, &io, buffer.data(),
                                                     kListBufferBytes, kFileIdBothDirectoryInformation, FALSE,
                                                     nullptr, restart);
        if (result == kNoMoreFiles) return true;
        if (result < 0) {
            SetLastError(RtlNtStatusToDosError(result));
            return false;
        }
        const char* record = reinterpret_cast<const char*>(buffer.data());
        for (;;) {
            const auto* entry = reinterpret_cast<const IdBothDirectoryRecord*>(record);
            std::wstring name(entry->fileName, entry->fileNameLength / sizeof(wchar_t));
            if (name != L"." && name != L"..")
                entries.push_back({name, entry->fileAttributes, static_cast<uint64_t>(entry->fileId.QuadPart)});
            if (entry->nextEntryOffset == 0) break;
            record += entry->nextEntryOffset;
        }
    }
}

bool ClearReadOnly(HANDLE handle, DWORD attributes) {
    if ((attributes & FILE_ATTRIBUTE_READONLY) == 0) return true;
    BasicInformation basic = {};  // zero times leave them as they are
    basic.fileAttributes = (attributes & ~FILE_ATTRIBUTE_READONLY) | FILE_ATTRIBUTE_NORMAL;
    if (basic.fileAttributes != FILE_ATTRIBUTE_NORMAL) basic.fileAttributes &= ~FILE_ATTRIBUTE_NORMAL;
    IO_STATUS_BLOCK io = {};
    return NtSetInformationFile(handle, &io, &basic, sizeof(basic), kFileBasicInformation) >= 0;
}

bool MarkForDeletion(HANDLE handle, DWORD* error) {
    BOOLEAN deleteFile = TRUE;
    IO_STATUS_BLOCK io = {};
    const NTSTATUS result = NtSetInformationFile(handle, &io, &deleteFile, sizeof(deleteFile), kFileDispositionInformation);
    if (result >= 0) return true;
    if (error) *error = RtlNtStatusToDosError(result);
    return false;
}

}  // namespace files
