#include "extract/block_reader.h"

#include <cstring>

#include <lzma/7zCrc.h>

namespace extract {
namespace {

constexpr UInt32 kMethodLzma = 0x030101;
constexpr UInt32 kMethodBcj2 = 0x0303011B;
constexpr size_t kMainChunkBytes = 1u << 18;

// The coder chain 7-Zip writes for BCJ2: coders 0 and 1 unpack the jump and call streams, coder
// 2 the main stream, all LZMA, and coder 3 joins them with the raw range-coder stream (pack
// stream 1); pack streams 0, 2 and 3 feed coders 2, 1 and 0.
bool IsBcj2Chain(const CSzFolder& folder) {
    if (folder.NumCoders != 4 || folder.NumPackStreams != 4 || folder.NumBonds != 3) return false;
    for (UInt32 i = 0; i < 3; ++i)
        if (folder.Coders[i].MethodID != kMethodLzma || folder.Coders[i].NumStreams != 1)
            return false;
    return folder.Coders[3].MethodID == kMethodBcj2 && folder.Coders[3].NumStreams == 4 &&
           folder.PackStreams[0] == 2 && folder.PackStreams[1] == 6 &&
           folder.PackStreams[2] == 1 && folder.PackStreams[3] == 0 &&
           folder.Bonds[0].InIndex == 5 && folder.Bonds[0].OutIndex == 0 &&
           folder.Bonds[1].InIndex == 4 && folder.Bonds[1].OutIndex == 1 &&
           folder.Bonds[2].InIndex == 3 && folder.Bonds[2].OutIndex == 2;
}

bool IsLzmaChain(const CSzFolder& folder) {
    return folder.NumCoders == 1 && folder.NumPackStreams == 1 && folder.NumBonds == 0 &&
           folder.PackStreams[0] == 0 && folder.Coders[0].MethodID == kMethodLzma &&
           folder.Coders[0].NumStreams == 1;
}

bool FitsSize(std::uint64_t size) { return size == static_cast<size_t>(size); }

}  // namespace

BlockReader::BlockReader(const CSzArEx* database, UInt32 blockIndex, ResourceStream* stream,
                         ISzAllocPtr alloc)
    : m_pDatabase(database), m_nBlock(blockIndex), m_pStream(stream), m_alloc(alloc),
      m_nCrc(CRC_INIT_VAL) {}

BlockReader::~BlockReader() {
    for (Byte* buffer : m_pSide) ISzAlloc_Free(m_alloc, buffer);
    ISzAlloc_Free(m_alloc, m_pMainChunk);
    ISzAlloc_Free(m_alloc, m_pWhole);
}

std::uint64_t BlockReader::PackOffset(UInt32 packStream) const {
    const CSzAr& ar = m_pDatabase->db;
    return m_pDatabase->dataPos + ar.PackPositions[ar.FoStartPackStreamIndex[m_nBlock] + packStream];
}

std::uint64_t BlockReader::PackSize(UInt32 packStream) const {
    const CSzAr& ar = m_pDatabase->db;
    const UInt64* positions = ar.PackPositions + ar.FoStartPackStreamIndex[m_nBlock];
    return positions[packStream + 1] - positions[packStream];
}

std::uint64_t BlockReader::CoderUnpackSize(UInt32 coder) const {
    const CSzAr& ar = m_pDatabase->db;
    return ar.CoderUnpackSizes[ar.FoToCoderUnpackSizes[m_nBlock] + coder];
}

SRes BlockReader::Open() {
    const CSzAr& ar = m_pDatabase->db;
    m_nSize = SzAr_GetFolderUnpackSize(&ar, m_nBlock);
    m_bCheckCrc = SzBitWithVals_Check(&ar.FolderCRCs, m_nBlock);
    if (!FitsSize(m_nSize)) return SZ_ERROR_MEM;

    const Byte* coderData = ar.CodersData + ar.FoCodersOffsets[m_nBlock];
    CSzData description = {coderData, ar.FoCodersOffsets[m_nBlock + 1] - ar.FoCodersOffsets[m_nBlock]};
    CSzFolder folder;
    const bool parsed = SzGetNextFolderItem(&folder, &description) == SZ_OK &&
                        description.Size == 0 &&
                        folder.UnpackStream == ar.FoToMainUnpackSizeIndex[m_nBlock];
    if (parsed && IsBcj2Chain(folder)) {
        m_shape = Shape::kBcj2;
        return OpenBcj2(folder, coderData);
    }
    if (parsed && IsLzmaChain(folder)) {
        m_shape = Shape::kLzma;
        m_pMain.reset(new LzmaSource(m_pStream, m_alloc));
        return m_pMain->Open(coderData + folder.Coders[0].PropsOffset, folder.Coders[0].PropsSize,
                             PackOffset(0), PackSize(0), m_nSize);
    }
    // Anything else (and a description the fast paths do not understand) goes to the SDK, which
    // also gives the verdict on chains it cannot decode.
    m_shape = Shape::kWhole;
    m_pWhole = static_cast<Byte*>(ISzAlloc_Alloc(m_alloc, static_cast<size_t>(m_nSize)));
    if (m_pWhole == nullptr && m_nSize != 0) return SZ_ERROR_MEM;
    return SzAr_DecodeFolder(&ar, m_nBlock, m_pStream->LookStream(), m_pDatabase->dataPos,
                             m_pWhole, static_cast<size_t>(m_nSize), m_alloc);
}

SRes BlockReader::ReadPackStream(std::uint64_t offset, std::uint64_t size, Byte** buffer) {
    if (!FitsSize(size)) return SZ_ERROR_MEM;
    *buffer = static_cast<Byte*>(ISzAlloc_Alloc(m_alloc, size == 0 ? 1 : static_cast<size_t>(size)));
    if (*buffer == nullptr) return SZ_ERROR_MEM;
    const SRes res = LookInStream_SeekTo(m_pStream->LookStream(), offset);
    if (res != SZ_OK) return res;
    return LookInStream_Read(m_pStream->LookStream(), *buffer, static_cast<size_t>(size));
}

SRes BlockReader::OpenBcj2(const CSzFolder& folder, const Byte* coderData) {
    const std::uint64_t jumpSize = CoderUnpackSize(0);
    const std::uint64_t callSize = CoderUnpackSize(1);
    const std::uint64_t mainSize = CoderUnpackSize(2);
    if (!FitsSize(jumpSize) || !FitsSize(callSize)) return SZ_ERROR_MEM;
    if ((jumpSize & 3) != 0 || (callSize & 3) != 0 || mainSize + callSize + jumpSize != m_nSize)
        return SZ_ERROR_DATA;

    // Coder 0 (jump) reads pack stream 3, coder 1 (call) pack stream 2.
    const UInt32 sidePack[2] = {3, 2};
    const std::uint64_t sideSize[2] = {jumpSize, callSize};
    for (UInt32 coder = 0; coder < 2; ++coder) {
        const size_t size = static_cast<size_t>(sideSize[coder]);
        m_pSide[coder] = static_cast<Byte*>(ISzAlloc_Alloc(m_alloc, size == 0 ? 1 : size));
        if (m_pSide[coder] == nullptr) return SZ_ERROR_MEM;
        const CSzCoderInfo& info = folder.Coders[coder];
        const SRes res = DecodeLzmaStream(coderData + info.PropsOffset, info.PropsSize, m_pStream,
                                          PackOffset(sidePack[coder]), PackSize(sidePack[coder]),
                                          m_pSide[coder], size, m_alloc);
        if (res != SZ_OK) return res;
    }
    const std::uint64_t rcSize = PackSize(1);
    SRes res = ReadPackStream(PackOffset(1), rcSize, &m_pSide[2]);
    if (res != SZ_OK) return res;

    m_pMain.reset(new LzmaSource(m_pStream, m_alloc));
    const CSzCoderInfo& main = folder.Coders[2];
    res = m_pMain->Open(coderData + main.PropsOffset, main.PropsSize, PackOffset(0), PackSize(0),
                        mainSize);
    if (res != SZ_OK) return res;
    m_pMainChunk = static_cast<Byte*>(ISzAlloc_Alloc(m_alloc, kMainChunkBytes));
    if (m_pMainChunk == nullptr) return SZ_ERROR_MEM;

    Bcj2Dec_Init(&m_bcj2);
    m_bcj2.bufs[BCJ2_STREAM_MAIN] = m_bcj2.lims[BCJ2_STREAM_MAIN] = m_pMainChunk;
    m_bcj2.bufs[BCJ2_STREAM_CALL] = m_pSide[1];
    m_bcj2.lims[BCJ2_STREAM_CALL] = m_pSide[1] + callSize;
    m_bcj2.bufs[BCJ2_STREAM_JUMP] = m_pSide[0];
    m_bcj2.lims[BCJ2_STREAM_JUMP] = m_pSide[0] + jumpSize;
    m_bcj2.bufs[BCJ2_STREAM_RC] = m_pSide[2];
    m_bcj2.lims[BCJ2_STREAM_RC] = m_pSide[2] + rcSize;
    return SZ_OK;
}

SRes BlockReader::ReadBcj2(Byte* dest, size_t size) {
    m_bcj2.dest = dest;
    m_bcj2.destLim = dest + size;
    for (;;) {
        const SRes res = Bcj2Dec_Decode(&m_bcj2);
        if (res != SZ_OK) return res;
        if (m_bcj2.dest == m_bcj2.destLim) return SZ_OK;
        // Only the main stream arrives in pieces; any other stream running dry is damage.
        if (m_bcj2.state != BCJ2_STREAM_MAIN || m_pMain->Remaining() == 0) return SZ_ERROR_DATA;
        const std::uint64_t left = m_pMain->Remaining();
        const size_t piece = left < kMainChunkBytes ? static_cast<size_t>(left) : kMainChunkBytes;
        const SRes reading = m_pMain->Read(m_pMainChunk, piece);
        if (reading != SZ_OK) return reading;
        m_bcj2.bufs[BCJ2_STREAM_MAIN] = m_pMainChunk;
        m_bcj2.lims[BCJ2_STREAM_MAIN] = m_pMainChunk + piece;
    }
}

SRes BlockReader::Read(Byte* dest, size_t size) {
    if (size > m_nSize - m_nRead) return SZ_ERROR_DATA;
    SRes res = SZ_OK;
    switch (m_shape) {
        case Shape::kBcj2:
            res = ReadBcj2(dest, size);
            break;
        case Shape::kLzma:
            res = m_pMain->Read(dest, size);
            break;
        case Shape::kWhole:
            std::memcpy(dest, m_pWhole + m_nRead, size);
            break;
    }
    if (res != SZ_OK) return res;
    // Archives made by 7-Zip check each file instead; the block's own CRC is rarely stored.
    if (m_bCheckCrc) m_nCrc = CrcUpdate(m_nCrc, dest, size);
    m_nRead += size;
    return SZ_OK;
}

SRes BlockReader::Finish() const {
    if (m_nRead != m_nSize) return SZ_ERROR_DATA;
    if (m_shape == Shape::kBcj2) {
        for (unsigned i = 0; i < BCJ2_NUM_STREAMS; ++i)
            if (m_bcj2.bufs[i] != m_bcj2.lims[i]) return SZ_ERROR_DATA;
        if (m_pMain->Remaining() != 0 || !Bcj2Dec_IsMaybeFinished(&m_bcj2)) return SZ_ERROR_DATA;
    }
    // The SDK checked the block's CRC of a whole-decoded block already.
    const CSzBitUi32s& crcs = m_pDatabase->db.FolderCRCs;
    if (m_shape != Shape::kWhole && m_bCheckCrc &&
        CRC_GET_DIGEST(m_nCrc) != crcs.Vals[m_nBlock])
        return SZ_ERROR_CRC;
    return SZ_OK;
}

}  // namespace extract
