// The art comes from the program's own "PNG" resources, decoded once per id.
#include <gtest/gtest.h>

#include "ui/toolkit/image_cache.h"
#include "ui_test_support.h"

namespace {

using ui_test::PixelAt;

class ImageCacheTest : public ::testing::Test {
protected:
    void SetUp() override { m_cache.SetModule(GetModuleHandleW(nullptr)); }
    ui::ImageCache m_cache;
};

TEST_F(ImageCacheTest, AResourceIsDecodedWithItsSizeAndColoursOnce) {
    Gdiplus::Image* image = m_cache.Load(ui_test::kSwatchPng, L"PNG");
    ASSERT_NE(nullptr, image);
    EXPECT_EQ(3u, image->GetWidth());
    EXPECT_EQ(2u, image->GetHeight());

    Gdiplus::Bitmap copy(3, 2, PixelFormat32bppARGB);
    {
        Gdiplus::Graphics surface(&copy);
        surface.Clear(Gdiplus::Color(0, 0, 0, 0));
        surface.DrawImage(image, 0, 0, 3, 2);
    }
    EXPECT_EQ(0xFFFF0000u, PixelAt(copy, 0, 0));
    EXPECT_EQ(0xFF0000FFu, PixelAt(copy, 2, 0));
    EXPECT_EQ(0xFF000000u, PixelAt(copy, 1, 1));
    EXPECT_EQ(128u, PixelAt(copy, 2, 1) >> 24) << "the alpha channel was lost";

    EXPECT_EQ(image, m_cache.Load(ui_test::kSwatchPng, L"PNG")) << "the same id was decoded again";
    EXPECT_EQ(image, m_cache.Load(ui_test::kSwatchPng, L"PNG"));
}

TEST_F(ImageCacheTest, AMissingResourceGivesNullEveryTime) {
    EXPECT_EQ(nullptr, m_cache.Load(ui_test::kMissingPng, L"PNG"));
    EXPECT_EQ(nullptr, m_cache.Load(ui_test::kMissingPng, L"PNG"));
    // The id is not of another type either.
    EXPECT_EQ(nullptr, m_cache.Load(ui_test::kSwatchPng + 1000, L"PNG"));
}

TEST_F(ImageCacheTest, BytesThatAreNoImageGiveAnImageThatDrawsNothing) {
    Gdiplus::Image* broken = m_cache.Load(ui_test::kBrokenPng, L"PNG");
    ASSERT_NE(nullptr, broken);
    EXPECT_EQ(0u, broken->GetWidth());
    Gdiplus::Bitmap target(4, 4, PixelFormat32bppARGB);
    Gdiplus::Graphics surface(&target);
    surface.Clear(Gdiplus::Color(0, 0, 0, 0));
    surface.DrawImage(broken, 0, 0);
    surface.Flush(Gdiplus::FlushIntentionSync);
    EXPECT_EQ(0u, PixelAt(target, 1, 1));
}

TEST_F(ImageCacheTest, AModuleWithoutTheArtGivesNull) {
    ui::ImageCache elsewhere;
    elsewhere.SetModule(GetModuleHandleW(L"kernel32.dll"));
    EXPECT_EQ(nullptr, elsewhere.Load(ui_test::kSwatchPng, L"PNG"));
}

}  // namespace
