#include "extract/archive_extractor.h"

#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include <lzma/7zCrc.h>

#include "diag/install_log.h"
#include "extract/block_extractor.h"
#include "extract/extract_constants.h"
#include "extract/payload_extractor.h"
#include "extract/resource_stream.h"

namespace extract {
namespace {

// How often the coordinating thread passes on progress and asks whether to cancel.
constexpr DWORD kPollMs = 10;
// Each worker holds a dictionary and a few buffers; more workers than this gain nothing.
constexpr UInt32 kMostWorkers = 4;

void* PlainAlloc(ISzAllocPtr, size_t size) { return size == 0 ? nullptr : std::malloc(size); }
void PlainFree(ISzAllocPtr, void* address) { std::free(address); }

bool IsCancelled(IExtractProgressCallback* callback) {
    return callback != nullptr && callback->IsCancelled();
}

UInt32 WorkerCount(UInt32 blocks) {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    UInt32 workers = info.dwNumberOfProcessors > 0 ? info.dwNumberOfProcessors : 1;
    if (workers > kMostWorkers) workers = kMostWorkers;
    return blocks < workers ? blocks : workers;
}

class Progress {
public:
    Progress(IExtractProgressCallback* callback, std::uint32_t total)
        : m_pCallback(callback), m_nTotal(total) {}

    void FileDone(std::uint32_t size) {
        m_nCompleted += size;
        if (m_pCallback) m_pCallback->OnProgress(m_nCompleted, m_nTotal);
    }
    std::uint32_t Completed() const { return m_nCompleted; }

private:
    IExtractProgressCallback* m_pCallback;
    std::uint32_t m_nTotal;
    std::uint32_t m_nCompleted = 0;
};

// Entries without content (empty files) belong to no block; they are written here, before the
// blocks, in archive order. Folders are made as parents of their files.
SRes WriteEmptyEntries(const CSzArEx* database, const std::wstring& targetFolder,
                       IExtractProgressCallback* callback, Progress* progress, bool* cancelled) {
    for (UInt32 i = 0; i < database->NumFiles; ++i) {
        if (database->FileToFolder[i] != kNoBlock || SzArEx_IsDir(database, i)) continue;
        if (IsCancelled(callback)) {
            *cancelled = true;
            return SZ_OK;
        }
        const SRes res = WriteEmptyEntry(targetFolder, database, i);
        if (res != SZ_OK) return res;
        progress->FileDone(0);
    }
    return SZ_OK;
}

// Starts the workers, one block each at a time, and waits for them while passing their progress
// on from this thread. The callback is only ever called here.
SRes ExtractBlocks(BlockExtraction* run, IExtractProgressCallback* callback, Progress* progress) {
    const UInt32 blocks = run->database->db.NumFolders;
    const UInt32 wanted = WorkerCount(blocks);
    std::vector<HANDLE> workers;
    for (UInt32 i = 0; i < wanted; ++i) {
        HANDLE worker = CreateThread(nullptr, 0, &BlockWorker, run, 0, nullptr);
        if (worker == nullptr) break;
        workers.push_back(worker);
    }
    // Without a single thread the blocks are extracted here, one after the other.
    if (workers.empty()) BlockWorker(run);

    for (;;) {
        const bool finished =
            workers.empty() ||
            WaitForMultipleObjects(static_cast<DWORD>(workers.size()), workers.data(), TRUE,
                                   kPollMs) != WAIT_TIMEOUT;
        for (std::uint32_t size : run->TakeFinished()) progress->FileDone(size);
        if (finished) break;
        if (!run->stop && IsCancelled(callback)) run->stop = true;
    }
    for (HANDLE worker : workers) CloseHandle(worker);
    return run->Result();
}

}  // namespace

SRes ExtractAllFiles(const CSzArEx* database, const void* data, size_t size,
                     const std::wstring& targetFolder, IExtractProgressCallback* callback,
                     ISzAllocPtr alloc) {
    // The progress counts in 32 bits, as the callback does.
    std::uint32_t total = 0;
    for (UInt32 i = 0; i < database->NumFiles; ++i)
        total += static_cast<std::uint32_t>(SzArEx_GetFileSize(database, i));
    if (callback) callback->OnProgress(0, total);
    Progress progress(callback, total);

    bool cancelled = false;
    SRes res = WriteEmptyEntries(database, targetFolder, callback, &progress, &cancelled);
    if (res == SZ_OK && !cancelled && !IsCancelled(callback)) {
        BlockExtraction run;
        run.database = database;
        run.data = data;
        run.size = size;
        run.targetFolder = targetFolder;
        run.alloc = alloc;
        run.order = OrderBlocks(database);
        res = ExtractBlocks(&run, callback, &progress);
    }
    InstallLog::Format(kLogCompleteSize, static_cast<int>(progress.Completed()));
    return res;
}

}  // namespace extract

int ExtractArchive(IExtractProgressCallback* callback, const std::wstring& targetFolder,
                   const void* data, size_t size) {
    using namespace extract;
    static const ISzAlloc allocMain = {PlainAlloc, PlainFree};
    static const ISzAlloc allocTemp = {PlainAlloc, PlainFree};
    ResourceStream stream(data, size);

    // Idempotent; the table is process-wide and every decoder thread reads it for its CRCs.
    CrcGenerateTable();

    CSzArEx database;
    SzArEx_Init(&database);
    SRes res = SzArEx_Open(&database, stream.LookStream(), &allocMain, &allocTemp);
    if (res == SZ_OK) {
        res = ExtractAllFiles(&database, data, size, targetFolder, callback, &allocMain);
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
