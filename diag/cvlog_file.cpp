#include "diag/cvlog_file.h"

#include <cstring>

#include <windows.h>

#include "diag/cvlog_record.h"
#include "diag/diag_constants.h"
#include "diag/folder_chain.h"

namespace diag {
namespace {

constexpr int kDeleteAttempts = 3;
constexpr DWORD kDeleteRetryPauseMs = 40;
constexpr int kOpenExtraAttempts = 3;
constexpr DWORD kOpenRetryPauseMs = 30;

bool FileSize(const std::wstring& path, std::uint64_t& size) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

// A missing file counts as deleted, so that the retries are kept for a file that is in use.
void DeleteWithRetries(const std::wstring& path) {
    for (int attempt = 1; attempt <= kDeleteAttempts; ++attempt) {
        if (DeleteFileW(path.c_str())) return;
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return;
        if (attempt < kDeleteAttempts) Sleep(kDeleteRetryPauseMs);
    }
}

HANDLE OpenOnce(const std::wstring& logPath) {
    return CreateFileW(logPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

std::wstring CVLogFileName(const std::wstring& programPath) {
    std::wstring name = SourceBaseName(programPath);
    const std::size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos) name.erase(dot);
    if (name.empty()) return kFallbackBinaryLogName;
    return name + kBinaryLogExtension;
}

std::wstring CVLogPathIn(const std::wstring& appData, const std::wstring& fileName) {
    // Without an application-data folder the log is rooted at the current drive.
    std::wstring path = appData;
    if (path.empty() || path.back() != L'\\') path += L'\\';
    path += kMakerFolder;
    path += L'\\';
    path += kLogsFolder;
    path += L'\\';
    path += fileName;
    // Room is left for the ".1" and ".2" of the older generations.
    if (path.size() + 2 >= kMaxLogPathChars) return std::wstring();
    return path;
}

void CreateCVLogFolders(const std::wstring& logPath) {
    const std::wstring logsFolder = ParentFolderOf(logPath);
    const std::wstring makerFolder = ParentFolderOf(logsFolder);
    CreateDirectoryW(makerFolder.c_str(), nullptr);
    CreateDirectoryW(logsFolder.c_str(), nullptr);
}

bool ShouldRotate(std::uint64_t fileSize) { return fileSize > kRotateAboveBytes; }

void RotateIfLarge(const std::wstring& logPath) {
    std::uint64_t size = 0;
    if (!FileSize(logPath, size) || !ShouldRotate(size)) return;
    const std::wstring first = logPath + kFirstGenerationSuffix;
    const std::wstring second = logPath + kSecondGenerationSuffix;
    DeleteWithRetries(second);
    MoveFileW(first.c_str(), second.c_str());
    MoveFileW(logPath.c_str(), first.c_str());
    // Whatever could not be moved aside is dropped, so that the log starts small again.
    DeleteFileW(logPath.c_str());
}

void OpenForAppend(const std::wstring& logPath, ScopedHandle& file) {
    file.Reset(OpenOnce(logPath));
    if (file.IsValid()) return;

    const DWORD attributes = GetFileAttributesW(logPath.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        SetFileAttributesW(logPath.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
        file.Reset(OpenOnce(logPath));
        if (file.IsValid()) return;
    }
    for (int attempt = 0; attempt < kOpenExtraAttempts; ++attempt) {
        Sleep(kOpenRetryPauseMs);
        file.Reset(OpenOnce(logPath));
        if (file.IsValid()) return;
    }
}

bool WriteStaged(const std::vector<std::unique_ptr<CVLogRecord>>& records,
                 std::vector<std::uint8_t>& staging, std::size_t stagingBytes,
                 const ChunkWriter& write) {
    staging.resize(stagingBytes);
    std::size_t staged = 0;
    for (const std::unique_ptr<CVLogRecord>& record : records) {
        if (!record) continue;
        if (staged + record->Size() > stagingBytes && staged > 0) {
            if (!write(staging.data(), staged)) return false;
            staged = 0;
        }
        if (record->Size() > stagingBytes) {
            if (!write(record->Data(), record->Size())) return false;
            continue;
        }
        std::memcpy(staging.data() + staged, record->Data(), record->Size());
        staged += record->Size();
    }
    return staged == 0 || write(staging.data(), staged);
}

}  // namespace diag
