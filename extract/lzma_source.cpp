#include "extract/lzma_source.h"

namespace extract {
namespace {

// Feeds `decoder` from `stream` until `dicLimit` bytes are in its dictionary (DecodeToDic) or
// until `destSize` bytes were copied out (DecodeToBuf, when `dest` is set). The stream is
// positioned at the next packed byte; `packLeft` counts what is left of the packed stream.
SRes Pump(CLzmaDec* decoder, ResourceStream* stream, std::uint64_t* packLeft, Byte* dest,
          size_t destSize, size_t dicLimit, bool lastPiece) {
    size_t produced = 0;
    for (;;) {
        if (dest != nullptr ? produced == destSize : decoder->dicPos == dicLimit) return SZ_OK;
        const void* input = nullptr;
        size_t looked = *packLeft < (1u << 18) ? static_cast<size_t>(*packLeft) : (1u << 18);
        if (looked > 0) {
            const SRes looking = ILookInStream_Look(stream->LookStream(), &input, &looked);
            if (looking != SZ_OK) return looking;
        }
        SizeT consumed = looked;
        ELzmaStatus status = LZMA_STATUS_NOT_SPECIFIED;
        const ELzmaFinishMode finish = lastPiece ? LZMA_FINISH_END : LZMA_FINISH_ANY;
        SRes res;
        size_t before;
        if (dest != nullptr) {
            SizeT made = destSize - produced;
            before = produced;
            res = LzmaDec_DecodeToBuf(decoder, dest + produced, &made,
                                      static_cast<const Byte*>(input), &consumed, finish, &status);
            produced += made;
        } else {
            before = decoder->dicPos;
            res = LzmaDec_DecodeToDic(decoder, dicLimit, static_cast<const Byte*>(input), &consumed,
                                      finish, &status);
        }
        if (res != SZ_OK) return res;
        if (consumed > 0) {
            const SRes skipping = ILookInStream_Skip(stream->LookStream(), consumed);
            if (skipping != SZ_OK) return skipping;
            *packLeft -= consumed;
        }
        const size_t after = dest != nullptr ? produced : decoder->dicPos;
        // An end mark before the expected size, or a pass that neither read nor wrote anything,
        // means the packed stream is damaged or cut short.
        if (status == LZMA_STATUS_FINISHED_WITH_MARK &&
            (dest != nullptr ? produced != destSize : decoder->dicPos != dicLimit))
            return SZ_ERROR_DATA;
        if (consumed == 0 && after == before) return SZ_ERROR_DATA;
    }
}

}  // namespace

LzmaSource::LzmaSource(ResourceStream* stream, ISzAllocPtr alloc)
    : m_pStream(stream), m_alloc(alloc) {
    LzmaDec_CONSTRUCT(&m_decoder)
}

LzmaSource::~LzmaSource() {
    LzmaDec_FreeProbs(&m_decoder, m_alloc);
    ISzAlloc_Free(m_alloc, m_pDictionary);
}

SRes LzmaSource::Open(const Byte* props, unsigned propsSize, std::uint64_t packOffset,
                      std::uint64_t packSize, std::uint64_t unpackSize) {
    CLzmaProps decoded;
    SRes res = LzmaProps_Decode(&decoded, props, propsSize);
    if (res != SZ_OK) return res;
    res = LzmaDec_AllocateProbs(&m_decoder, props, propsSize, m_alloc);
    if (res != SZ_OK) return res;
    // The whole stream fits into a dictionary of its own size, so that is the most it needs.
    std::uint64_t dictionary = decoded.dicSize;
    if (dictionary > unpackSize) dictionary = unpackSize;
    if (dictionary < (1u << 12)) dictionary = 1u << 12;
    if (dictionary != static_cast<size_t>(dictionary)) return SZ_ERROR_MEM;
    m_pDictionary = static_cast<Byte*>(ISzAlloc_Alloc(m_alloc, static_cast<size_t>(dictionary)));
    if (m_pDictionary == nullptr) return SZ_ERROR_MEM;
    m_decoder.dic = m_pDictionary;
    m_decoder.dicBufSize = static_cast<SizeT>(dictionary);
    LzmaDec_Init(&m_decoder);
    m_nPackOffset = packOffset;
    m_nPackLeft = packSize;
    m_nUnpackLeft = unpackSize;
    return SZ_OK;
}

SRes LzmaSource::Read(Byte* dest, size_t size) {
    if (size > m_nUnpackLeft) return SZ_ERROR_DATA;
    SRes res = LookInStream_SeekTo(m_pStream->LookStream(), m_nPackOffset);
    if (res != SZ_OK) return res;
    const std::uint64_t packBefore = m_nPackLeft;
    res = Pump(&m_decoder, m_pStream, &m_nPackLeft, dest, size, 0, size == m_nUnpackLeft);
    m_nPackOffset += packBefore - m_nPackLeft;
    if (res != SZ_OK) return res;
    m_nUnpackLeft -= size;
    return SZ_OK;
}

SRes DecodeLzmaStream(const Byte* props, unsigned propsSize, ResourceStream* stream,
                      std::uint64_t packOffset, std::uint64_t packSize, Byte* out, size_t outSize,
                      ISzAllocPtr alloc) {
    CLzmaDec decoder;
    LzmaDec_CONSTRUCT(&decoder)
    SRes res = LzmaDec_AllocateProbs(&decoder, props, propsSize, alloc);
    if (res != SZ_OK) return res;
    decoder.dic = out;
    decoder.dicBufSize = outSize;
    LzmaDec_Init(&decoder);
    res = LookInStream_SeekTo(stream->LookStream(), packOffset);
    if (res == SZ_OK) res = Pump(&decoder, stream, &packSize, nullptr, 0, outSize, true);
    LzmaDec_FreeProbs(&decoder, alloc);
    return res;
}

}  // namespace extract
