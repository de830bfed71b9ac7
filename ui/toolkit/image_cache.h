#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>

namespace Gdiplus {
class Image;
}

namespace ui {

// The resource type of the program's art.
inline constexpr wchar_t kPngResourceType[] = L"PNG";

// The decoded art of one module's resources, by resource id. Each id is decoded once and kept
// until the cache is destroyed; a missing resource is remembered as null and never looked for
// again. Images must be freed while GDI+ still runs: destroy the cache before StopGraphics.
class ImageCache {
public:
    ImageCache();
    ~ImageCache();
    ImageCache(const ImageCache&) = delete;
    ImageCache& operator=(const ImageCache&) = delete;

    // The module whose resources hold the art.
    void SetModule(HINSTANCE module) { m_hModule = module; }
    // The image of resource `id` of type `type` (kPngResourceType for the program's art), or null when
    // there is no such resource. A resource that cannot be decoded gives an image that draws
    // nothing.
    Gdiplus::Image* Load(int32_t id, const wchar_t* type);
    // Frees every image; later loads decode again.
    void Clear();

private:
    HINSTANCE m_hModule = nullptr;
    std::map<int32_t, std::unique_ptr<Gdiplus::Image>> m_images;
};

}  // namespace ui
