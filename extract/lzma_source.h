#pragma once

#include <cstddef>
#include <cstdint>

#include <lzma/LzmaDec.h>

#include "extract/resource_stream.h"

namespace extract {

// One LZMA-packed stream of a solid block, decoded piece by piece into the caller's buffers. The
// dictionary is no larger than the stream's unpacked size, so a small block costs little memory.
// The packed bytes are read through `stream`, which must not be used by anyone else meanwhile.
class LzmaSource {
public:
    LzmaSource(ResourceStream* stream, ISzAllocPtr alloc);
    ~LzmaSource();
    LzmaSource(const LzmaSource&) = delete;
    LzmaSource& operator=(const LzmaSource&) = delete;

    // Prepares decoding of `packSize` bytes at archive offset `packOffset` into `unpackSize`
    // bytes, with the coder properties `props`.
    SRes Open(const Byte* props, unsigned propsSize, std::uint64_t packOffset,
              std::uint64_t packSize, std::uint64_t unpackSize);

    // Decodes the next `size` bytes into `dest`; fewer than `size` remaining is a data error.
    SRes Read(Byte* dest, size_t size);

    std::uint64_t Remaining() const { return m_nUnpackLeft; }

private:
    ResourceStream* m_pStream;
    ISzAllocPtr m_alloc;
    CLzmaDec m_decoder;
    Byte* m_pDictionary = nullptr;
    std::uint64_t m_nPackOffset = 0;  // archive offset of the next packed byte
    std::uint64_t m_nPackLeft = 0;
    std::uint64_t m_nUnpackLeft = 0;
};

// Decodes a whole LZMA-packed stream of `outSize` bytes straight into `out` (no dictionary of its
// own: the output is the dictionary).
SRes DecodeLzmaStream(const Byte* props, unsigned propsSize, ResourceStream* stream,
                      std::uint64_t packOffset, std::uint64_t packSize, Byte* out, size_t outSize,
                      ISzAllocPtr alloc);

}  // namespace extract
