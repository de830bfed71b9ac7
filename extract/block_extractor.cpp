#include "extract/block_extractor.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

#include <lzma/7zCrc.h>

#include "diag/install_log.h"
#include "diag/sha256.h"
#include "extract/block_reader.h"
#include "extract/entry_path.h"
#include "extract/extract_constants.h"
#include "extract/output_file.h"
#include "extract/payload_digests.h"
#include "extract/payload_extractor.h"
#include "extract/resource_stream.h"

namespace extract {
namespace {

constexpr SRes kFileFailure = static_cast<SRes>(E_FAIL);
// A file is decoded and written in pieces of this size; the stop flag is looked at between them.
constexpr size_t kPieceBytes = 1u << 20;

// The entry's stored name, UTF-16 as the archive keeps it.
std::wstring EntryName(const CSzArEx* database, UInt32 index) {
    const size_t length = SzArEx_GetFileNameUtf16(database, index, nullptr);
    std::vector<UInt16> name(length + 1, 0);
    SzArEx_GetFileNameUtf16(database, index, name.data());
    return std::wstring(name.begin(), name.begin() + (length > 0 ? length - 1 : 0));
}

// Gives the file the modification time the archive records for entry `index`, if any.
void ApplyArchiveTime(OutputFile& file, const CSzArEx* database, UInt32 index) {
    if (!SzBitWithVals_Check(&database->MTime, index)) return;
    const CNtfsFileTime& recorded = database->MTime.Vals[index];
    FILETIME time;
    time.dwLowDateTime = recorded.Low;
    time.dwHighDateTime = recorded.High;
    // A file without its recorded time is still the right file: only logged.
    if (!file.SetModificationTime(time)) InstallLog::Format(kLogFileTimeFailed, static_cast<unsigned>(GetLastError()));
}

// The checked path of entry `index`, logged, with its parent folder in place.
SRes PrepareEntry(const std::wstring& targetFolder, const CSzArEx* database, UInt32 index,
                  std::wstring* path) {
    const std::wstring name = EntryName(database, index);
    switch (MakeEntryPath(targetFolder, name, path)) {
        case EntryPathResult::kOk:
            break;
        case EntryPathResult::kUnsafeName:
            InstallLog::Format(kLogUnsafeEntryName, name.c_str());
            return kFileFailure;
        case EntryPathResult::kTooLong:
            InstallLog::Format(kLogEntryPathTooLong, name.c_str());
            return kFileFailure;
    }
    InstallLog::Format(kLogEntryPath, path->c_str());
    if (!EnsureFolder(ParentFolder(*path))) {
        InstallLog::Format(kLogCreateFolderFailed);
        return kFileFailure;
    }
    return SZ_OK;
}

struct FreeDeleter {
    void operator()(Byte* buffer) const { std::free(buffer); }
};

class BlockWriter {
public:
    BlockWriter(BlockExtraction* run, UInt32 block, Byte* piece)
        : m_pRun(run), m_nBlock(block), m_pPiece(piece),
          m_stream(run->data, run->size), m_reader(run->database, block, &m_stream, run->alloc) {
        m_stream.SetStopFlag(&run->stop);
    }

    // SZ_OK also when stopped; a failure is logged and handed to the run.
    void Extract() {
        if (m_pRun->stop) return;
        SRes res = m_reader.Open();
        if (res != SZ_OK) return Failed(res, true);
        const CSzArEx* database = m_pRun->database;
        for (UInt32 i = database->FolderToFile[m_nBlock]; i < database->NumFiles; ++i) {
            const UInt32 block = database->FileToFolder[i];
            if (block == kNoBlock) continue;
            if (block != m_nBlock) break;
            if (m_pRun->stop) return;
            res = ExtractFile(i);
            if (res != SZ_OK) return;
        }
        res = m_reader.Finish();
        if (res != SZ_OK) Failed(res, true);
    }

private:
    void Failed(SRes res, bool decoding) {
        if (m_pRun->stop) return;  // stopped from outside: not a failure of this block
        if (decoding) InstallLog::Format(kLogSzExtractError);
        m_pRun->Fail(res);
    }

    // Non-zero when the block must not go on (failed or stopped).
    SRes ExtractFile(UInt32 index) {
        std::wstring path;
        SRes res = PrepareEntry(m_pRun->targetFolder, m_pRun->database, index, &path);
        if (res != SZ_OK) {
            Failed(res, false);
            return res;
        }
        OutputFile file;
        if (!file.Create(path)) {
            InstallLog::Format(kLogCreateFileFailed);
            Failed(kFileFailure, false);
            return kFileFailure;
        }
        const std::uint64_t size = SzArEx_GetFileSize(m_pRun->database, index);
        std::uint64_t left = size;
        UInt32 crc = CRC_INIT_VAL;
        // The digest is taken from the decoded bytes themselves, never read back from the file.
        const std::wstring name = EntryName(m_pRun->database, index);
        std::unique_ptr<diag::Sha256> digest(IsPayloadDigestWanted(name) ? new diag::Sha256 : nullptr);
        while (left > 0) {
            const size_t piece = left < kPieceBytes ? static_cast<size_t>(left) : kPieceBytes;
            res = m_reader.Read(m_pPiece, piece);
            if (res == SZ_OK && !file.WriteAll(m_pPiece, piece)) {
                InstallLog::Format(kLogWriteFailed);
                res = kFileFailure;
                Failed(res, false);
            } else if (res != SZ_OK) {
                Failed(res, true);
            } else if (m_pRun->stop && left > piece) {
                res = kFileFailure;
            }
            if (res != SZ_OK) {
                // Nothing half-written stays behind.
                file.Close();
                DeleteFileW(path.c_str());
                return res;
            }
            crc = CrcUpdate(crc, m_pPiece, piece);
            if (digest) digest->Add(m_pPiece, piece);
            left -= piece;
        }
        ApplyArchiveTime(file, m_pRun->database, index);
        if (!file.Close()) {
            InstallLog::Format(kLogCloseFailed);
            Failed(kFileFailure, false);
            return kFileFailure;
        }
        const CSzBitUi32s& crcs = m_pRun->database->CRCs;
        if (SzBitWithVals_Check(&crcs, index) && CRC_GET_DIGEST(crc) != crcs.Vals[index]) {
            DeleteFileW(path.c_str());
            Failed(SZ_ERROR_CRC, true);
            return SZ_ERROR_CRC;
        }
        if (digest) RecordPayloadDigest(name, digest->Finish());
        m_pRun->FileFinished(static_cast<std::uint32_t>(size));
        return SZ_OK;
    }

    BlockExtraction* m_pRun;
    UInt32 m_nBlock;
    Byte* m_pPiece;
    ResourceStream m_stream;
    BlockReader m_reader;
};

}  // namespace

void BlockExtraction::FileFinished(std::uint32_t size) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_finished.push_back(size);
}

std::vector<std::uint32_t> BlockExtraction::TakeFinished() {
    std::lock_guard<std::mutex> guard(m_mutex);
    std::vector<std::uint32_t> finished;
    finished.swap(m_finished);
    return finished;
}

void BlockExtraction::Fail(SRes result) {
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (m_result == SZ_OK) m_result = result;
    }
    stop = true;
}

SRes BlockExtraction::Result() {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_result;
}

std::vector<UInt32> OrderBlocks(const CSzArEx* database) {
    const CSzAr& db = database->db;
    std::vector<UInt32> order(db.NumFolders);
    std::vector<UInt64> packed(db.NumFolders);
    for (UInt32 block = 0; block < db.NumFolders; ++block) {
        order[block] = block;
        packed[block] = db.PackPositions[db.FoStartPackStreamIndex[block + 1]] -
                        db.PackPositions[db.FoStartPackStreamIndex[block]];
    }
    std::stable_sort(order.begin(), order.end(),
                     [&packed](UInt32 a, UInt32 b) { return packed[a] > packed[b]; });
    return order;
}

DWORD WINAPI BlockWorker(void* parameter) {
    BlockExtraction* run = static_cast<BlockExtraction*>(parameter);
    std::unique_ptr<Byte, FreeDeleter> piece(static_cast<Byte*>(std::malloc(kPieceBytes)));
    if (!piece) {
        run->Fail(SZ_ERROR_MEM);
        return 0;
    }
    const UInt32 blocks = static_cast<UInt32>(run->order.size());
    for (UInt32 next = run->nextBlock++; next < blocks && !run->stop; next = run->nextBlock++) {
        // The reader's dictionary and buffers live only while its block is extracted.
        std::unique_ptr<BlockWriter> writer(new BlockWriter(run, run->order[next], piece.get()));
        writer->Extract();
    }
    return 0;
}

SRes WriteEmptyEntry(const std::wstring& targetFolder, const CSzArEx* database, UInt32 index) {
    std::wstring path;
    const SRes res = PrepareEntry(targetFolder, database, index, &path);
    if (res != SZ_OK) return res;
    OutputFile file;
    if (!file.Create(path)) {
        InstallLog::Format(kLogCreateFileFailed);
        return kFileFailure;
    }
    ApplyArchiveTime(file, database, index);
    if (!file.Close()) {
        InstallLog::Format(kLogCloseFailed);
        return kFileFailure;
    }
    return SZ_OK;
}

}  // namespace extract
