#include "ui/pages/page_art.h"

#include "ui/install_ui_manager.h"
#include "ui/toolkit/image_cache.h"

namespace ui {

namespace {

struct ArtSize {
    int32_t first;
    int32_t last;
    int width;
    int height;
};

// The shipped art's sizes, by ranges of ids.
constexpr ArtSize kArtSizes[] = {
    {165, 165, 590, 440}, {166, 171, 24, 24}, {172, 172, 160, 160}, {173, 175, 200, 54},
    {176, 177, 12, 12},   {178, 180, 78, 36}, {181, 183, 88, 28},   {184, 186, 78, 28},
    {187, 189, 14, 14},   {190, 190, 140, 140}, {191, 191, 60, 15}, {192, 192, 88, 28},
    {193, 193, 200, 54},  {194, 194, 24, 24}, {195, 197, 200, 44},  {198, 198, 70, 20},
};

const ArtSize* SizeOf(int32_t id) {
    for (const ArtSize& size : kArtSizes) {
        if (id >= size.first && id <= size.last) return &size;
    }
    return nullptr;
}

}  // namespace

Gdiplus::Image* Art(int32_t id) {
    InstallUIManager* manager = InstallUIManager::Instance();
    return manager ? manager->Images().Load(id, kPngResourceType) : nullptr;
}

int ArtWidth(int32_t id) {
    const ArtSize* size = SizeOf(id);
    return size ? size->width : 0;
}

int ArtHeight(int32_t id) {
    const ArtSize* size = SizeOf(id);
    return size ? size->height : 0;
}

}  // namespace ui
