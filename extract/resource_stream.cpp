#include "extract/resource_stream.h"

#include <windows.h>

#include <cstring>

#include "extract/extract_constants.h"

namespace extract {
namespace {

constexpr SRes kStreamFailure = static_cast<SRes>(E_FAIL);

}  // namespace

ResourceStream::ResourceStream(const void* data, std::uint64_t size)
    : m_pData(static_cast<const std::uint8_t*>(data)), m_nSize(size) {
    static_assert(sizeof(m_buffer) == kReadBufferBytes, "one look is one read buffer");
    m_look.Look = &ResourceStream::Look;
    m_look.Skip = &ResourceStream::Skip;
    m_look.Read = &ResourceStream::Read;
    m_look.Seek = &ResourceStream::Seek;
}

ResourceStream* ResourceStream::FromLook(ILookInStreamPtr stream) {
    static_assert(offsetof(ResourceStream, m_look) == 0, "the look interface leads the object");
    return reinterpret_cast<ResourceStream*>(const_cast<ILookInStream*>(stream));
}

size_t ResourceStream::Available(size_t wanted) const {
    if (m_pStop != nullptr && m_pStop->load(std::memory_order_relaxed)) return 0;
    std::uint64_t available = m_nSize - m_nPosition;
    if (available > wanted) available = wanted;
    if (available > kReadBufferBytes) available = kReadBufferBytes;
    return static_cast<size_t>(available);
}

SRes ResourceStream::Look(ILookInStreamPtr stream, const void** buffer, size_t* size) {
    ResourceStream* self = FromLook(stream);
    if (buffer == nullptr || size == nullptr) return kStreamFailure;
    const size_t length = self->Available(*size);
    self->m_nLookedAt = 0;
    // A read at the end is an error: the decoder knows every length it needs beforehand.
    if (length == 0) return kStreamFailure;
    std::memcpy(self->m_buffer, self->m_pData + self->m_nPosition, length);
    self->m_nLookedAt = length;
    *buffer = self->m_buffer;
    *size = length;
    return SZ_OK;
}

SRes ResourceStream::Skip(ILookInStreamPtr stream, size_t offset) {
    ResourceStream* self = FromLook(stream);
    if (offset > self->m_nLookedAt) return kStreamFailure;
    self->m_nPosition += offset;
    self->m_nLookedAt -= offset;
    return SZ_OK;
}

SRes ResourceStream::Read(ILookInStreamPtr stream, void* buffer, size_t* size) {
    ResourceStream* self = FromLook(stream);
    if (buffer == nullptr || size == nullptr) return kStreamFailure;
    const size_t length = self->Available(*size);
    self->m_nLookedAt = 0;
    if (length == 0) return kStreamFailure;
    std::memcpy(buffer, self->m_pData + self->m_nPosition, length);
    self->m_nPosition += length;
    *size = length;
    return SZ_OK;
}

SRes ResourceStream::Seek(ILookInStreamPtr stream, Int64* position, ESzSeek origin) {
    ResourceStream* self = FromLook(stream);
    std::uint64_t base = 0;
    if (origin == SZ_SEEK_CUR) base = self->m_nPosition;
    else if (origin == SZ_SEEK_END) base = self->m_nSize;
    else if (origin != SZ_SEEK_SET) return kStreamFailure;
    const Int64 offset = *position;
    if (offset < 0 && static_cast<std::uint64_t>(-offset) > base) return kStreamFailure;
    const std::uint64_t target = base + static_cast<std::uint64_t>(offset);
    // Only a seek to a byte of the archive is allowed; the end itself may be asked for, which is
    // how the decoder learns the archive size.
    if (target > self->m_nSize || (target == self->m_nSize && origin == SZ_SEEK_SET))
        return kStreamFailure;
    self->m_nPosition = target;
    self->m_nLookedAt = 0;
    *position = static_cast<Int64>(target);
    return SZ_OK;
}

}  // namespace extract
