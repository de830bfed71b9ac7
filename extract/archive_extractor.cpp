#include "extract/archive_extractor.h"

#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include <lzma/7zCrc.h>

#include "diag/install_log.h"
#include "extract/entry_path.h"
#include "extract/extract_constants.h"
#include "extract/output_file.h"
#include "extract/payload_extractor.h"
#include "extract/resource_stream.h"

namespace extract {
namespace {

constexpr SRes kFileFailure = static_cast<SRes>(E_FAIL);

void* PlainAlloc(ISzAllocPtr, size_t size) { return size == 0 ? nullptr : std::malloc(size); }
void PlainFree(ISzAllocPtr, void* address) { std::free(address); }

bool IsCancelled(IExtractProgressCallback* callback) {
    return callback != nullptr && callback->IsCancelled();
}

// The entry's stored name, UTF-16 as the archive keeps it.
std::wstring EntryName(const CSzArEx* database, UInt32 index) {
    const size_t length = SzArEx_GetFileNameUtf16(database, index, nullptr);
    std::vector<UInt16> name(length + 1, 0);
    SzArEx_GetFileNameUtf16(database, index, name.data());
    return std::wstring(name.begin(), name.begin() + (length > 0 ? length - 1 : 0));
}

// The decoded solid block, kept across entries and released once at the end.
class BlockCache {
public:
    explicit BlockCache(ISzAllocPtr alloc) : m_alloc(alloc) {}
    ~BlockCache() { ISzAlloc_Free(m_alloc, m_pBuffer); }
    BlockCache(const BlockCache&) = delete;
    BlockCache& operator=(const BlockCache&) = delete;

    UInt32 m_nBlockIndex = 0xFFFFFFFF;
    Byte* m_pBuffer = nullptr;
    size_t m_nBufferSize = 0;

private:
    ISzAllocPtr m_alloc;
};

SRes WriteEntry(const std::wstring& path, const Byte* data, size_t length) {
    if (!EnsureFolder(ParentFolder(path))) {
        InstallLog::Format(kLogCreateFolderFailed);
        return kFileFailure;
    }
    OutputFile file;
    if (!file.Create(path)) {
        InstallLog::Format(kLogCreateFileFailed);
        return kFileFailure;
    }
    if (!file.WriteAll(data, length)) {
        InstallLog::Format(kLogWriteFailed);
        return kFileFailure;
    }
    if (!file.Close()) {
        InstallLog::Format(kLogCloseFailed);
        return kFileFailure;
    }
    return SZ_OK;
}

SRes ExtractEntries(const CSzArEx* database, ILookInStreamPtr stream,
                    const std::wstring& targetFolder, IExtractProgressCallback* callback,
                    ISzAllocPtr allocMain, ISzAllocPtr allocTemp, BlockCache* cache,
                    std::uint32_t* completed) {
    // The progress counts in 32 bits, as the callback does.
    std::uint32_t total = 0;
    for (UInt32 i = 0; i < database->NumFiles; ++i)
        total += static_cast<std::uint32_t>(SzArEx_GetFileSize(database, i));
    if (callback) callback->OnProgress(0, total);

    for (UInt32 i = 0; i < database->NumFiles; ++i) {
        if (IsCancelled(callback)) return SZ_OK;
        // Folders are made as parents of their files.
        if (SzArEx_IsDir(database, i)) continue;

        size_t offset = 0;
        size_t length = 0;
        const SRes res = SzArEx_Extract(database, stream, i, &cache->m_nBlockIndex,
                                        &cache->m_pBuffer, &cache->m_nBufferSize, &offset,
                                        &length, allocMain, allocTemp);
        if (res != SZ_OK) {
            InstallLog::Format(kLogSzExtractError);
            return res;
        }

        const std::wstring name = EntryName(database, i);
        std::wstring path;
        switch (MakeEntryPath(targetFolder, name, &path)) {
            case EntryPathResult::kOk:
                break;
            case EntryPathResult::kUnsafeName:
                InstallLog::Format(kLogUnsafeEntryName, name.c_str());
                return kFileFailure;
            case EntryPathResult::kTooLong:
                InstallLog::Format(kLogEntryPathTooLong, name.c_str());
                return kFileFailure;
        }
        InstallLog::Format(kLogEntryPath, path.c_str());
        if (IsCancelled(callback)) return SZ_OK;

        const SRes written = WriteEntry(path, cache->m_pBuffer + offset, length);
        if (written != SZ_OK) return written;

        *completed += static_cast<std::uint32_t>(length);
        if (callback) callback->OnProgress(*completed, total);
    }
    return SZ_OK;
}

}  // namespace

SRes ExtractAllFiles(const CSzArEx* database, ILookInStreamPtr stream,
                     const std::wstring& targetFolder, IExtractProgressCallback* callback,
                     ISzAllocPtr allocMain, ISzAllocPtr allocTemp) {
    BlockCache cache(allocMain);
    std::uint32_t completed = 0;
    const SRes res = ExtractEntries(database, stream, targetFolder, callback, allocMain, allocTemp,
                                    &cache, &completed);
    InstallLog::Format(kLogCompleteSize, static_cast<int>(completed));
    return res;
}

}  // namespace extract

int ExtractArchive(IExtractProgressCallback* callback, const std::wstring& targetFolder,
                   const void* data, size_t size) {
    using namespace extract;
    static const ISzAlloc allocMain = {PlainAlloc, PlainFree};
    static const ISzAlloc allocTemp = {PlainAlloc, PlainFree};
    ResourceStream stream(data, size);

    // Idempotent; the table is process-wide and the decoder reads it for every CRC it checks.
    CrcGenerateTable();

    CSzArEx database;
    SzArEx_Init(&database);
    SRes res = SzArEx_Open(&database, stream.LookStream(), &allocMain, &allocTemp);
    if (res == SZ_OK) {
        res = ExtractAllFiles(&database, stream.LookStream(), targetFolder, callback, &allocMain,
                              &allocTemp);
        if (res != SZ_OK) InstallLog::Format(kLogExtractFileError, res);
    }
    SzArEx_Free(&database, &allocMain);

    const int archiveSize = static_cast<int>(size);
    if (res == SZ_OK) {
        InstallLog::Format(kLogArchiveDone, archiveSize);
        return 0;
    }
    // Only the two HRESULTs have texts of their own; the decoder's own codes (an unsupported
    // method is 4, no memory 2) are logged with their number, like every other result.
    if (res == static_cast<SRes>(E_NOTIMPL))
        InstallLog::Format(kLogNotSupported, archiveSize);
    else if (res == static_cast<SRes>(E_OUTOFMEMORY))
        InstallLog::Format(kLogOutOfMemory, archiveSize);
    else if (res == SZ_ERROR_CRC)
        InstallLog::Format(kLogCrcError, archiveSize);
    else
        InstallLog::Format(kLogOtherError, res, archiveSize);
    return 1;
}
