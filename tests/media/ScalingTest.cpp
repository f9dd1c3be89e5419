// Where a picture lands on the screen, and what the area filter makes of
// patterns finer than a screen pixel.
#include "media/FitGeometry.h"
#include "media/FrameScaler.h"
#include "support/FfmpegClips.h"

#include <QPainter>

#include <gtest/gtest.h>

namespace zoetra::media {
namespace {

using test::meanGrey;

TEST(FitGeometry, FitKeepsTheWholePictureBetweenWhiteBars)
{
    // Wider than 3:2: bars above and below.
    FitGeometry g = computeFit(1920, 1080, 1.0, FitMode::Fit);
    EXPECT_EQ(g.source, QRect(0, 0, 1920, 1080));
    EXPECT_EQ(g.target, QRect(0, 5, 96, 54));
    // Taller: bars left and right.
    g = computeFit(480, 640, 1.0, FitMode::Fit);
    EXPECT_EQ(g.target, QRect(24, 0, 48, 64));
    // Exactly 3:2: the whole screen.
    EXPECT_EQ(computeFit(960, 640, 1.0, FitMode::Fit).target, QRect(0, 0, 96, 64));
    // Pixels twice as wide as high: 720 x 576 shows as 1440 x 576 (5:2).
    EXPECT_EQ(computeFit(720, 576, 2.0, FitMode::Fit).target, QRect(0, 13, 96, 38));
    // A line stays at least one pixel thick.
    EXPECT_EQ(computeFit(10000, 10, 1.0, FitMode::Fit).target.height(), 1);
}

TEST(FitGeometry, FillCropsTheCentreTo3By2)
{
    FitGeometry g = computeFit(1920, 1080, 1.0, FitMode::Fill);
    EXPECT_EQ(g.source, QRect(150, 0, 1620, 1080));
    EXPECT_EQ(g.target, QRect(0, 0, 96, 64));
    g = computeFit(640, 640, 1.0, FitMode::Fill);
    EXPECT_EQ(g.source, QRect(0, 106, 640, 427));
    // Of wide pixels, fewer are kept across.
    EXPECT_EQ(computeFit(720, 576, 2.0, FitMode::Fill).source, QRect(144, 0, 432, 576));
}

TEST(FitGeometry, StretchUsesEverythingEverywhere)
{
    const FitGeometry g = computeFit(100, 700, 1.0, FitMode::Stretch);
    EXPECT_EQ(g.source, QRect(0, 0, 100, 700));
    EXPECT_EQ(g.target, QRect(0, 0, 96, 64));
}

QImage pattern(int width, int height, const std::function<bool(int, int)>& black)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixel(x, y, black(x, y) ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
        }
    }
    return image;
}

// Every screen pixel must come out at the pattern's mean: a nearest-pixel
// scaler gives black or white, a narrow filter a beat.
void expectUniform(const QImage& screen, double grey, double tolerance)
{
    ASSERT_EQ(screen.size(), QSize(96, 64));
    double lowest = 255.0;
    double highest = 0.0;
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 96; ++x) {
            const double g = meanGrey(screen, x, y, 1, 1);
            lowest = std::min(lowest, g);
            highest = std::max(highest, g);
        }
    }
    EXPECT_NEAR(lowest, grey, tolerance);
    EXPECT_NEAR(highest, grey, tolerance);
}

TEST(AreaFilter, AveragesACheckerboardToMidGrey)
{
    FrameScaler scaler;
    // 10 source pixels a screen pixel, then a factor that is not whole.
    expectUniform(scaler.scale(pattern(960, 640, [](int x, int y) { return (x + y) % 2 == 0; }), FitMode::Stretch),
                  127.5, 1.5);
    expectUniform(scaler.scale(pattern(1280, 720, [](int x, int y) { return (x + y) % 2 == 0; }), FitMode::Stretch),
                  127.5, 1.5);
}

TEST(AreaFilter, CountsEveryPixelOfSparseLines)
{
    FrameScaler scaler;
    // One black column in ten and one black row in ten: 19% black.
    const QImage grid = pattern(960, 640, [](int x, int y) { return x % 10 == 3 || y % 10 == 7; });
    expectUniform(scaler.scale(grid, FitMode::Stretch), 255.0 * 0.81, 2.0);
    // One black column in seven over a factor of 13.3: every screen pixel
    // covers one or two of them, in proportion.
    const QImage lines = pattern(1280, 720, [](int x, int) { return x % 7 == 0; });
    const QImage screen = scaler.scale(lines, FitMode::Stretch);
    EXPECT_NEAR(meanGrey(screen, 0, 0, 96, 64), 255.0 * 6 / 7, 1.5);
    for (int x = 0; x < 96; ++x) {
        // Each screen column spans 13.33 source columns: 1.9 black ones.
        EXPECT_NEAR(meanGrey(screen, x, 10, 1, 1), 255.0 * (1.0 - 1.905 / 13.333), 20.0) << x;
    }
}

TEST(AreaFilter, KeepsColoursAndLaysTransparencyOnWhite)
{
    FrameScaler scaler;
    QImage red(300, 200, QImage::Format_RGB32);
    red.fill(qRgb(200, 30, 60));
    const QImage screen = scaler.scale(red, FitMode::Fit);
    EXPECT_EQ(screen.pixel(50, 30), qRgb(200, 30, 60));

    QImage clear(300, 200, QImage::Format_ARGB32);
    clear.fill(Qt::transparent);
    QPainter(&clear).fillRect(0, 0, 150, 200, QColor(0, 0, 255));
    const QImage half = scaler.scale(clear, FitMode::Stretch);
    EXPECT_EQ(half.pixel(10, 30), qRgb(0, 0, 255));
    EXPECT_EQ(half.pixel(80, 30), qRgb(255, 255, 255));
}

TEST(AreaFilter, AScreenSizedPictureIsCopiedAsItIs)
{
    FrameScaler scaler;
    QImage frame(96, 64, QImage::Format_RGB32);
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 96; ++x) {
            frame.setPixel(x, y, qRgb(x * 2, y * 3, (x * y) % 256));
        }
    }
    EXPECT_EQ(scaler.scale(frame, FitMode::Fit), frame);
}

TEST(AreaFilter, PlacesThePictureByTheFitMode)
{
    FrameScaler scaler;
    // 3:1, black with a white left third.
    const QImage wide = pattern(300, 100, [](int x, int) { return x >= 100; });
    const QImage fit = scaler.scale(wide, FitMode::Fit);  // 96 x 32 at row 16
    EXPECT_GT(meanGrey(fit, 0, 0, 96, 15), 254.0);
    EXPECT_GT(meanGrey(fit, 0, 49, 96, 15), 254.0);
    EXPECT_GT(meanGrey(fit, 0, 17, 31, 30), 254.0);
    EXPECT_LT(meanGrey(fit, 33, 17, 63, 30), 1.0);
    const QImage fill = scaler.scale(wide, FitMode::Fill);  // source x 75..225
    EXPECT_GT(meanGrey(fill, 0, 0, 15, 64), 254.0);
    EXPECT_LT(meanGrey(fill, 17, 0, 79, 64), 1.0);
    const QImage stretch = scaler.scale(wide, FitMode::Stretch);
    EXPECT_GT(meanGrey(stretch, 0, 0, 31, 64), 254.0);
    EXPECT_LT(meanGrey(stretch, 33, 0, 63, 64), 1.0);
}

}  // namespace
}  // namespace zoetra::media
