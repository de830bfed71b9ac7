#include "ui/uninstall/uninstall_art.h"

#include "ui/uninstall/uninstall_resources.h"

namespace ui {

namespace {

struct ArtSize {
    int32_t id;
    int width;
    int height;
};

// As res/art/art.toml draws them.
constexpr ArtSize kArtSizes[] = {
    {PELORA_UNINSTALL_ART_BACKGROUND, 420, 270},   {PELORA_UNINSTALL_ART_LOGO, 72, 72},
    {PELORA_UNINSTALL_ART_CLOSE_DOWN, 24, 24},     {PELORA_UNINSTALL_ART_CLOSE_HOVER, 24, 24},
    {PELORA_UNINSTALL_ART_CLOSE_NORMAL, 24, 24},   {PELORA_UNINSTALL_ART_CLOSE_DISABLED, 24, 24},
    {PELORA_UNINSTALL_ART_UNCHECKED, 12, 12},      {PELORA_UNINSTALL_ART_CHECKED, 12, 12},
    {PELORA_UNINSTALL_ART_BUTTON_DOWN, 120, 36},   {PELORA_UNINSTALL_ART_BUTTON_HOVER, 120, 36},
    {PELORA_UNINSTALL_ART_BUTTON_NORMAL, 120, 36}, {PELORA_UNINSTALL_ART_CANCEL_DOWN, 120, 36},
    {PELORA_UNINSTALL_ART_CANCEL_HOVER, 120, 36},  {PELORA_UNINSTALL_ART_CANCEL_NORMAL, 120, 36},
};

const ArtSize* SizeOf(int32_t id) {
    for (const ArtSize& size : kArtSizes) {
        if (size.id == id) return &size;
    }
    return nullptr;
}

}  // namespace

UninstallArt::UninstallArt(HINSTANCE module) {
    m_cache.SetModule(module);
}

Gdiplus::Image* UninstallArt::Image(int32_t id) {
    return m_cache.Load(id, kPngResourceType);
}

int UninstallArt::Width(int32_t id) {
    const ArtSize* size = SizeOf(id);
    return size ? size->width : 0;
}

int UninstallArt::Height(int32_t id) {
    const ArtSize* size = SizeOf(id);
    return size ? size->height : 0;
}

}  // namespace ui
