#pragma once

#include <cstdint>

namespace Gdiplus {
class Image;
}

// The product art the pages draw: PNG resources of the program, with the sizes of the shipped art.
// The layout is made from these sizes, so a page keeps its shape even when a picture is missing.
namespace ui {

enum ArtId : int32_t {
    kArtBackground = 165,
    kArtCloseDown = 166, kArtCloseHover = 167, kArtCloseNormal = 168, kArtCloseDisabled = 194,
    kArtMinimiseDown = 169, kArtMinimiseHover = 170, kArtMinimiseNormal = 171,
    kArtLogo = 172,
    kArtInstallDown = 173, kArtInstallHover = 174, kArtInstallNormal = 175, kArtInstallDisabled = 193,
    kArtUnchecked = 176, kArtChecked = 177,
    kArtBrowseDown = 178, kArtBrowseHover = 179, kArtBrowseNormal = 180,
    kArtSmallInstallDown = 181, kArtSmallInstallHover = 182, kArtSmallInstallNormal = 183,
    kArtSmallInstallDisabled = 192,
    kArtReturnDown = 184, kArtReturnHover = 185, kArtReturnNormal = 186,
    kArtLinkIconDown = 187, kArtLinkIconHover = 188, kArtLinkIconNormal = 189,
    kArtContinueDown = 195, kArtContinueHover = 196, kArtContinueNormal = 197,
    kArtCardLogo = 198,
};

inline constexpr int kWindowIconId = 107;

// The decoded picture, or null when the program lacks it (the widget then draws nothing).
Gdiplus::Image* Art(int32_t id);
// The width and height the layout uses for a picture: the shipped art's.
int ArtWidth(int32_t id);
int ArtHeight(int32_t id);

}  // namespace ui
