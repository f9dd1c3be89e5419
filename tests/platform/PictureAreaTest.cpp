#include "platform/ImagePictureArea.h"
#include "platform/ProgressBarModel.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace zoetra {
namespace {

TEST(ProgressBarModel, RefusesOutOfRangeValuesAndSmallMaximums)
{
    ProgressBarModel bar;
    EXPECT_EQ(bar.maximum(), 100.0);
    EXPECT_TRUE(bar.setValue(50.065));
    EXPECT_DOUBLE_EQ(bar.value(), 50.065);
    EXPECT_FALSE(bar.setValue(200.065));
    EXPECT_FALSE(bar.setValue(-0.5));
    EXPECT_DOUBLE_EQ(bar.value(), 50.065);
    EXPECT_TRUE(bar.setValue(100.0));  // the maximum itself is taken

    EXPECT_FALSE(bar.setMaximum(0.0));
    EXPECT_FALSE(bar.setMaximum(-1.0));
    EXPECT_FALSE(bar.setMaximum(0.999));
    EXPECT_EQ(bar.maximum(), 100.0);
    EXPECT_TRUE(bar.setMaximum(1.0));
    EXPECT_LE(bar.value(), bar.maximum());
    EXPECT_TRUE(bar.setValue(1.0));
    EXPECT_FALSE(bar.setValue(1.5));
}

TEST(ImagePictureArea, SurfaceIs96By65WithUnreadableOutside)
{
    MemoryPictureArea area;
    EXPECT_EQ(area.pixel(0, 0), PictureBackground);
    EXPECT_EQ(area.pixel(95, 64), PictureBackground);
    for (auto [x, y] : {std::pair{96, 0}, std::pair{0, 65}, std::pair{-1, 0}, std::pair{0, -1}}) {
        EXPECT_EQ(area.pixel(x, y), UnreadableColour) << x << "," << y;
        area.setPixel(x, y, ColourBlack);  // ignored, and must not crash
    }
}

TEST(ImagePictureArea, KeepsTheLow24BitsOfAColour)
{
    MemoryPictureArea area;
    area.setPixel(3, 4, -65535);  // a marked black pixel
    EXPECT_EQ(area.pixel(3, 4), 0xFF0001);
    area.setPixel(3, 4, ColourWhite - 65535);
    EXPECT_EQ(area.pixel(3, 4), 0xFF0000);
}

TEST(ImagePictureArea, PictureIsUnscaledFromTheTopLeft)
{
    MemoryPictureArea area;
    QImage big = test::solidImage(300, 200, makeColour(10, 20, 30));
    big.setPixel(95, 64, qRgb(1, 2, 3));
    area.setPicture(big);
    EXPECT_EQ(area.pixel(95, 64), makeColour(1, 2, 3));
    EXPECT_EQ(area.pixel(0, 0), makeColour(10, 20, 30));

    area.setPicture(test::solidImage(10, 5, ColourBlack));
    EXPECT_EQ(area.pixel(9, 4), ColourBlack);
    EXPECT_EQ(area.pixel(10, 4), PictureBackground);
    EXPECT_EQ(area.pixel(9, 5), PictureBackground);

    // A palette image is taken by its colours, not its indices.
    QImage indexed(4, 4, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(200, 100, 50), qRgb(0, 0, 255)});
    indexed.fill(1);
    area.setPicture(indexed);
    EXPECT_EQ(area.pixel(0, 0), makeColour(0, 0, 255));
}

}  // namespace
}  // namespace zoetra
