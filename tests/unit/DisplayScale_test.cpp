// The wizard's layout, fonts and pictures brought from 96 DPI to a window's DPI.
#include <gtest/gtest.h>

#include "wizard/DisplayScale.h"

TEST(DisplayScale, RoundsToTheNearestWithHalvesAwayFromZero)
{
    const struct { int value, dpi, scaled; } cases[] = {
        {11, 144, 17}, {-11, 144, -17}, {-15, 144, -23}, {1, 120, 1}, {2, 120, 3}, {-2, 120, -3},
        {3, 120, 4},   {492, 144, 738}, {351, 120, 439}, {85, 96, 85}, {0, 192, 0}, {13, 168, 23},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ScaleToDpi(c.value, c.dpi), c.scaled) << c.value << " at " << c.dpi;
}

// The three buttons, the page beside the logo column, a label above its edit: what meets at
// 96 DPI meets at every DPI, and a row of boxes still ends where the row did.
TEST(DisplayScale, NeighbouringEdgesStayTogether)
{
    for (int dpi = 96; dpi <= 288; ++dpi) {
        const ScaledBox back = ScaleBoxToDpi(210, 319, 85, 22, dpi), next = ScaleBoxToDpi(295, 319, 85, 22, dpi);
        EXPECT_EQ(back.x + back.width, next.x) << dpi;
        EXPECT_EQ(back.y, next.y) << dpi;
        EXPECT_EQ(back.height, next.height) << dpi;
        const ScaledBox label = ScaleBoxToDpi(11, 7, 345, 36, dpi), edit = ScaleBoxToDpi(11, 43, 345, 21, dpi);
        EXPECT_EQ(label.y + label.height, edit.y) << dpi;
        EXPECT_EQ(label.x, edit.x) << dpi;
        EXPECT_EQ(label.width, edit.width) << dpi;
        int edge = 0;
        for (int width : {123, 1, 367, 1}) {
            const ScaledBox box = ScaleBoxToDpi(edge, 0, width, 10, dpi);
            EXPECT_EQ(box.x, ScaleToDpi(edge, dpi)) << dpi;
            edge += width;
            EXPECT_EQ(box.x + box.width, ScaleToDpi(edge, dpi)) << dpi;
        }
        EXPECT_EQ(ScaleToDpi(edge, dpi), ScaleToDpi(492, dpi));
    }
}

TEST(DisplayScale, PictureTakenAtOrAboveTheDpi)
{
    const struct { int dpi, scale; } cases[] = {{72, 100}, {96, 100}, {97, 150}, {120, 150}, {144, 150},
                                                {145, 200}, {192, 200}, {288, 200}};
    for (const auto& c : cases)
        EXPECT_EQ(PictureScaleFor(c.dpi), c.scale) << c.dpi;
    // The drawn sizes are the 100 % sizes scaled and rounded: 11 rows at 150 % are 17.
    for (int base : {10, 11, 16, 34, 120, 260})
        for (int scale : {100, 150, 200})
            EXPECT_EQ(PictureBaseSize(ScaleToDpi(base, 96 * scale / 100), scale), base) << base << " " << scale;
}

TEST(DisplayScale, ResizingAveragesByAreaAndKeepsTheKeyWhereItCoversHalf)
{
    const uint32_t K = 0xFFFFFF, R = 0xC00000, B = 0x0000FF;
    // 3 x 2 to 2 x 1: each new pixel covers one and a half old columns of both rows.
    Picture from{3, 2, {R, B, R, R, B, R}};
    Picture to = ResizePicture(from, 2, 1);
    ASSERT_EQ(to.pixels.size(), 2u);
    EXPECT_EQ(to.pixels[0], 0x800055u);   // 2/3 red, 1/3 blue
    EXPECT_EQ(to.pixels[1], 0x800055u);
    // A glyph's edge: key over half a new pixel leaves it out; less than half, the rest shows
    // unmixed with the key.
    from = {4, 1, {K, K, K, R}};
    to = ResizePicture(from, 2, 1, true, K);
    EXPECT_EQ(to.pixels[0], K);
    EXPECT_EQ(to.pixels[1], K);   // half key, half red: left out
    from = {3, 1, {R, K, R}};
    to = ResizePicture(from, 2, 1, true, K);
    EXPECT_EQ(to.pixels, std::vector<uint32_t>(2, R));   // a third key: red, not pink
    // An average that comes out as the key colour is nudged off it.
    to = ResizePicture(Picture{2, 1, {0x808081, 0x80807F}}, 1, 1, true, 0x808080);
    EXPECT_EQ(to.pixels[0], 0x808081u);
    // Growing repeats pixels; a size of zero gives nothing.
    to = ResizePicture(Picture{1, 1, {R}}, 2, 2);
    EXPECT_EQ(to.pixels, std::vector<uint32_t>(4, R));
    EXPECT_TRUE(ResizePicture(Picture{1, 1, {R}}, 0, 2).pixels.empty());
}
