#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include <lzma/7zTypes.h>

namespace extract {

// The decoder's input stream over archive bytes held in memory (the locked resource). Nothing is
// copied up front: each look hands the decoder at most 4096 bytes through the stream's own
// buffer, so several streams over the same bytes can be read at once, one per thread.
class ResourceStream {
public:
    ResourceStream(const void* data, std::uint64_t size);
    ResourceStream(const ResourceStream&) = delete;
    ResourceStream& operator=(const ResourceStream&) = delete;

    // The interface the decoder reads through; valid as long as this object.
    ILookInStreamPtr LookStream() const { return &m_look; }

    std::uint64_t Position() const { return m_nPosition; }

    // Once `*stop` is true every further look and read fails, which ends a long decode early.
    void SetStopFlag(const std::atomic<bool>* stop) { m_pStop = stop; }

private:
    static SRes Look(ILookInStreamPtr stream, const void** buffer, size_t* size);
    static SRes Skip(ILookInStreamPtr stream, size_t offset);
    static SRes Read(ILookInStreamPtr stream, void* buffer, size_t* size);
    static SRes Seek(ILookInStreamPtr stream, Int64* position, ESzSeek origin);
    static ResourceStream* FromLook(ILookInStreamPtr stream);

    // Bytes from the position up to `wanted`, the end and the buffer size; 0 means none left.
    size_t Available(size_t wanted) const;

    ILookInStream m_look;  // first member: the decoder's pointer leads back to this object
    const std::uint8_t* m_pData;
    std::uint64_t m_nPosition = 0;
    std::uint64_t m_nSize;
    size_t m_nLookedAt = 0;  // bytes handed out by the last look, the most a skip may pass
    const std::atomic<bool>* m_pStop = nullptr;
    std::uint8_t m_buffer[4096];
};

}  // namespace extract
