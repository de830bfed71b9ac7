#include "ui/toolkit/image_cache.h"

#include <cstring>

#include "ui/toolkit/gdiplus_include.h"

namespace ui {

namespace {

// Releases a COM stream at the end of the scope.
class StreamOwner {
public:
    StreamOwner() = default;
    ~StreamOwner() {
        if (m_stream) m_stream->Release();
    }
    StreamOwner(const StreamOwner&) = delete;
    StreamOwner& operator=(const StreamOwner&) = delete;
    IStream** Receive() { return &m_stream; }
    IStream* Get() const { return m_stream; }

private:
    IStream* m_stream = nullptr;
};

// Decodes the bytes of a resource. GDI+ reads an image from its stream lazily, so the bytes are
// copied into memory that the stream owns and frees with its last reference.
std::unique_ptr<Gdiplus::Image> DecodeResource(HMODULE module, HRSRC resource) {
    const DWORD size = SizeofResource(module, resource);
    HGLOBAL loaded = LoadResource(module, resource);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    HGLOBAL copy = bytes && size ? GlobalAlloc(GMEM_MOVEABLE, size) : nullptr;
    if (!copy) return std::make_unique<Gdiplus::Image>(static_cast<IStream*>(nullptr));
    if (void* target = GlobalLock(copy)) {
        std::memcpy(target, bytes, size);
        GlobalUnlock(copy);
    }
    StreamOwner stream;
    if (FAILED(CreateStreamOnHGlobal(copy, TRUE, stream.Receive()))) {
        GlobalFree(copy);
        return std::make_unique<Gdiplus::Image>(static_cast<IStream*>(nullptr));
    }
    return std::make_unique<Gdiplus::Image>(stream.Get());
}

}  // namespace

ImageCache::ImageCache() = default;

ImageCache::~ImageCache() = default;

Gdiplus::Image* ImageCache::Load(int32_t id, const wchar_t* type) {
    auto found = m_images.find(id);
    if (found != m_images.end()) return found->second.get();
    std::unique_ptr<Gdiplus::Image> image;
    if (HRSRC resource = FindResourceW(m_hModule, MAKEINTRESOURCEW(id), type)) {
        image = DecodeResource(m_hModule, resource);
    }
    Gdiplus::Image* loaded = image.get();
    m_images.emplace(id, std::move(image));
    return loaded;
}

void ImageCache::Clear() {
    m_images.clear();
}

}  // namespace ui
