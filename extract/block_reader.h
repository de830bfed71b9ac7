#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include <lzma/7z.h>
#include <lzma/Bcj2.h>

#include "extract/lzma_source.h"
#include "extract/resource_stream.h"

namespace extract {

// The unpacked bytes of one solid block, handed out in order. The payload's shape (x86 code
// split by BCJ2 into a main stream and call, jump and range-coder streams, each LZMA-packed but
// the last) and plain LZMA are decoded as they are read, so memory stays at the dictionary and a
// few buffers however large the block is; any other coder chain is decoded whole by the LZMA
// SDK. Every byte passes the block's CRC, checked when the last one has been read.
class BlockReader {
public:
    BlockReader(const CSzArEx* database, UInt32 blockIndex, ResourceStream* stream,
                ISzAllocPtr alloc);
    ~BlockReader();
    BlockReader(const BlockReader&) = delete;
    BlockReader& operator=(const BlockReader&) = delete;

    SRes Open();
    // Exactly the next `size` bytes of the block into `dest`.
    SRes Read(Byte* dest, size_t size);
    // After the last byte: every packed stream used up and the block's CRC matching.
    SRes Finish() const;

private:
    enum class Shape { kBcj2, kLzma, kWhole };

    SRes OpenBcj2(const CSzFolder& folder, const Byte* coderData);
    SRes ReadBcj2(Byte* dest, size_t size);
    SRes ReadPackStream(std::uint64_t offset, std::uint64_t size, Byte** buffer);
    std::uint64_t PackOffset(UInt32 packStream) const;
    std::uint64_t PackSize(UInt32 packStream) const;
    std::uint64_t CoderUnpackSize(UInt32 coder) const;

    const CSzArEx* m_pDatabase;
    UInt32 m_nBlock;
    ResourceStream* m_pStream;
    ISzAllocPtr m_alloc;
    Shape m_shape = Shape::kWhole;
    std::uint64_t m_nSize = 0;  // unpacked bytes of the block
    std::uint64_t m_nRead = 0;
    bool m_bCheckCrc = false;   // the archive stores a CRC of the whole block
    UInt32 m_nCrc;              // running CRC of the bytes handed out, when it is checked

    std::unique_ptr<LzmaSource> m_pMain;
    // BCJ2: the call and jump streams are decoded whole, the range-coder stream is read whole
    // (all are small); the main stream comes through `m_pMainChunk` piece by piece.
    Byte* m_pSide[3] = {nullptr, nullptr, nullptr};
    Byte* m_pMainChunk = nullptr;
    CBcj2Dec m_bcj2;
    // Any other chain: the whole block.
    Byte* m_pWhole = nullptr;
};

}  // namespace extract
