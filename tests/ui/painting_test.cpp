// What the widgets draw, read back from the pixels of a GDI+ bitmap.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "ui/toolkit/check_button.h"
#include "ui/toolkit/custom_install_button.h"
#include "ui/toolkit/image_cache.h"
#include "ui/toolkit/progress_bar.h"
#include "ui/toolkit/text_button.h"
#include "ui_test_support.h"

namespace {

using ui::ButtonState;
using ui_test::InkBounds;
using ui_test::NearColor;
using ui_test::PaintToBitmap;
using ui_test::PixelAt;

constexpr uint32_t kRed = 0xFFFF0000;

// Fills its rectangle with one colour.
class Swatch : public ui::Widget {
public:
    explicit Swatch(uint32_t colour) : m_colour(colour) {}
    void Paint(Gdiplus::Graphics& surface) override {
        Gdiplus::SolidBrush brush{Gdiplus::Color(m_colour)};
        surface.FillRectangle(&brush, 0, 0, Width(), Height());
    }

private:
    uint32_t m_colour;
};

class ArtTest : public ::testing::Test {
protected:
    void SetUp() override { m_cache.SetModule(GetModuleHandleW(nullptr)); }
    Gdiplus::Image* Icon() { return m_cache.Load(ui_test::kIconPng, L"PNG"); }
    ui::ImageCache m_cache;
};

TEST(PaintTree, ChildrenAreMovedToTheirPositionAndHiddenSubtreesSkipped) {
    ui::Widget root;
    root.SetGeometry(0, 0, 40, 40);
    auto* panel = root.AddChild(std::make_unique<Swatch>(0xFF0000FF));
    panel->SetGeometry(10, 10, 20, 20);
    auto* inner = panel->AddChild(std::make_unique<Swatch>(kRed));
    inner->SetGeometry(5, 5, 4, 4);
    auto* hidden = root.AddChild(std::make_unique<Swatch>(0xFF00FF00));
    hidden->SetGeometry(0, 0, 40, 40);
    hidden->AddChild(std::make_unique<Swatch>(0xFFFFFFFF))->SetGeometry(0, 0, 40, 40);
    hidden->SetVisible(false);

    auto bitmap = PaintToBitmap(root, 40, 40);
    EXPECT_EQ(0u, PixelAt(*bitmap, 9, 9));
    EXPECT_EQ(0xFF0000FFu, PixelAt(*bitmap, 10, 10));
    EXPECT_EQ(kRed, PixelAt(*bitmap, 15, 15)) << "the grandchild is not at its parent's offset plus its own";
    EXPECT_EQ(kRed, PixelAt(*bitmap, 18, 18));
    EXPECT_EQ(0xFF0000FFu, PixelAt(*bitmap, 19, 19));
    EXPECT_EQ(0u, PixelAt(*bitmap, 35, 35)) << "a hidden widget or its child was painted";
}

TEST(ProgressBarPaint, ZeroDrawsOnlyTheHalfTransparentTrack) {
    ui::ProgressBar bar;
    bar.SetGeometry(0, 0, 590, 6);
    auto bitmap = PaintToBitmap(bar, 590, 6);
    for (int x : {0, 1, 294, 295, 589}) {
        EXPECT_TRUE(NearColor(PixelAt(*bitmap, x, 3), ui::ProgressBar::kTrackColor))
            << std::hex << PixelAt(*bitmap, x, 3) << " at x " << std::dec << x;
    }
}

TEST(ProgressBarPaint, AHundredDrawsOnlyTheGradientFromBlueToPink) {
    ui::ProgressBar bar;
    bar.SetGeometry(0, 0, 590, 6);
    bar.SetValue(100, false);
    auto bitmap = PaintToBitmap(bar, 590, 6);
    for (int x = 0; x < 590; x += 7) EXPECT_EQ(0xFFu, PixelAt(*bitmap, x, 3) >> 24) << "not opaque at " << x;
    EXPECT_TRUE(NearColor(PixelAt(*bitmap, 0, 0), ui::ProgressBar::kGradientStartColor, 4))
        << std::hex << PixelAt(*bitmap, 0, 0);
    EXPECT_TRUE(NearColor(PixelAt(*bitmap, 589, 5), ui::ProgressBar::kGradientEndColor, 4))
        << std::hex << PixelAt(*bitmap, 589, 5);
}

TEST(ProgressBarPaint, FiftyOn590PixelsFillsExactlyTheFirst295) {
    ui::ProgressBar bar;
    bar.SetGeometry(0, 0, 590, 6);
    bar.SetValue(50, false);
    auto bitmap = PaintToBitmap(bar, 590, 6);
    EXPECT_TRUE(NearColor(PixelAt(*bitmap, 0, 3), ui::ProgressBar::kGradientStartColor, 4));
    EXPECT_EQ(0xFFu, PixelAt(*bitmap, 294, 3) >> 24) << "the gradient ends before pixel 294";
    EXPECT_TRUE(NearColor(PixelAt(*bitmap, 294, 3), ui::ProgressBar::kGradientEndColor, 6))
        << "the gradient does not span the filled part: " << std::hex << PixelAt(*bitmap, 294, 3);
    EXPECT_TRUE(NearColor(PixelAt(*bitmap, 295, 3), ui::ProgressBar::kTrackColor))
        << "the track does not start at pixel 295: " << std::hex << PixelAt(*bitmap, 295, 3);
    EXPECT_TRUE(NearColor(PixelAt(*bitmap, 589, 3), ui::ProgressBar::kTrackColor));
}

TEST_F(ArtTest, AButtonDrawsItsStatesImageAtItsNaturalSize) {
    ui::ImageButton button;
    button.SetGeometry(0, 0, 20, 20);
    button.SetImage(ButtonState::Hover, Icon());
    auto normal = PaintToBitmap(button, 20, 20);
    const RECT nothing = InkBounds(*normal);
    EXPECT_TRUE(IsRectEmpty(&nothing)) << "a state without an image drew";

    button.SetState(ButtonState::Hover);
    auto hover = PaintToBitmap(button, 20, 20);
    EXPECT_EQ((RECT{0, 0, 4, 4}), InkBounds(*hover)) << "the image was not drawn unscaled at the origin";
    EXPECT_EQ(kRed, PixelAt(*hover, 3, 3));
}

TEST_F(ArtTest, ACheckBoxDrawsTheImageOfItsValue) {
    Gdiplus::Image* swatch = m_cache.Load(ui_test::kSwatchPng, L"PNG");
    ui::CheckButton check;
    check.SetGeometry(0, 0, 12, 12);
    check.SetImages(Icon(), swatch);
    EXPECT_EQ(kRed, PixelAt(*PaintToBitmap(check, 12, 12), 3, 3));
    check.Toggle();
    auto unchecked = PaintToBitmap(check, 12, 12);
    EXPECT_EQ(0xFF00FF00u, PixelAt(*unchecked, 1, 0));
    EXPECT_EQ(0u, PixelAt(*unchecked, 3, 3));
}

TEST_F(ArtTest, TheLinkColoursItsTextByStateAndPutsItsIconAtTheRight) {
    ui::CustomInstallButton link;
    link.SetGeometry(0, 0, 90, 14);
    link.SetText(L"Custom", false);
    link.SetTextStyle(0xFF000000, 13);
    link.SetImage(ButtonState::Normal, Icon());

    const struct {
        ButtonState state;
        uint32_t colour;
    } expected[] = {{ButtonState::Normal, 0xFFA866FF}, {ButtonState::Hover, 0xFFB176FF}, {ButtonState::Down, 0xFF8B33FF}};
    for (const auto& each : expected) {
        link.SetState(each.state);
        PaintToBitmap(link, 90, 14);
        EXPECT_EQ(each.colour, link.Color()) << "state " << static_cast<int>(each.state);
    }
    link.SetState(ButtonState::Disabled);
    link.SetColor(0x4DFFFFFF);
    PaintToBitmap(link, 90, 14);
    EXPECT_EQ(0x4DFFFFFFu, link.Color()) << "a disabled link lost the colour its page gave it";

    link.SetState(ButtonState::Normal);
    auto bitmap = PaintToBitmap(link, 90, 14);
    // 90 - 4 - 5 = 81; (14 - 4) / 2 = 5.
    EXPECT_EQ(kRed, PixelAt(*bitmap, 81, 5)) << "the icon is not 5 pixels from the right edge, centred";
    EXPECT_EQ(kRed, PixelAt(*bitmap, 84, 8));
    EXPECT_EQ(0u, PixelAt(*bitmap, 86, 7));
}

TEST(TextPaint, TheAlignmentPlacesTheTextInTheWidgetsRectangle) {
    ui::TextButton label;
    label.SetGeometry(0, 0, 200, 30);
    label.SetText(L"Install", false);
    label.SetTextStyle(0xFFFFFFFF, 14);

    label.SetAlignment(ui::TextAlignment::Near);
    const RECT nearInk = InkBounds(*PaintToBitmap(label, 200, 30));
    label.SetAlignment(ui::TextAlignment::Far);
    const RECT farInk = InkBounds(*PaintToBitmap(label, 200, 30));
    label.SetAlignment(ui::TextAlignment::Center);
    const RECT centreInk = InkBounds(*PaintToBitmap(label, 200, 30));

    ASSERT_FALSE(IsRectEmpty(&nearInk)) << "no text was drawn";
    EXPECT_LT(nearInk.left, 10);
    EXPECT_GT(farInk.right, 190);
    EXPECT_LT(std::abs((centreInk.left + centreInk.right) / 2 - 100), 6);
    // Vertically centred in the 30-pixel rectangle.
    EXPECT_LT(std::abs((nearInk.top + nearInk.bottom) / 2 - 15), 5);
}

// The setup runs on Chinese systems: whatever face is installed, its texts must show.
TEST(TextPaint, AChineseTextIsDrawnAndMeasured) {
    ui::TextButton label;
    label.SetGeometry(0, 0, 200, 54);
    label.SetText(L"立即安装", false);
    label.SetTextStyle(0xFFFFFFFF, 20);
    const RECT ink = InkBounds(*PaintToBitmap(label, 200, 54));
    EXPECT_GT(ink.right - ink.left, 60) << "four 20-pixel characters left too little ink";
    EXPECT_GT(ink.bottom - ink.top, 10);
    EXPECT_GT(label.MeasureText().cx, 70);
}

TEST(TextMeasure, AnEmptyTextMeasuresTenByZeroAndALongerTextIsWider) {
    ui::TextButton label;
    label.SetTextStyle(0xFFFFFFFF, 13);
    const SIZE empty = label.MeasureText();
    EXPECT_EQ(10, empty.cx);
    EXPECT_EQ(0, empty.cy);

    label.SetText(L"I", false);
    const SIZE shortText = label.MeasureText();
    label.SetText(L"Install now", false);
    const SIZE longText = label.MeasureText();
    EXPECT_GT(shortText.cx, 10);
    EXPECT_GT(longText.cx, shortText.cx + 20);
    EXPECT_GT(longText.cy, 5);
    EXPECT_LT(longText.cy, 20) << "the height is not that of one 13-pixel line";
}

}  // namespace
