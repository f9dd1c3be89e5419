#include "imaging/Conversion.h"
#include "imaging/Reduction.h"
#include "imaging/ThresholdMaps.h"
#include "imaging/Tone.h"
#include "platform/ImagePictureArea.h"
#include "shared/Vars.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <set>

namespace zoetra {
namespace {

using GreyAt = std::function<int(int, int)>;

std::unique_ptr<Vars> settings(Pattern pattern, int black = 0, int white = 255)
{
    auto vars = std::make_unique<Vars>();
    vars->BlackThreshold = static_cast<std::int16_t>(black);
    vars->WhiteThreshold = static_cast<std::int16_t>(white);
    vars->DitherOn = true;
    vars->ColourChannel = 1;
    vars->Pictures.pattern = pattern;
    return vars;
}

BitGrid reduce(Vars& vars, const GreyAt& greyAt)
{
    MemoryPictureArea source;
    MemoryPictureArea preview;
    for (int y = 0; y < PictureHeight; ++y) {
        for (int x = 0; x < PictureWidth; ++x) {
            const int g = std::clamp(greyAt(x, y), 0, 255);
            source.setPixel(x, y, makeColour(g, g, g));
        }
    }
    ConvertToMono(vars, source, preview);
    BitGrid bits{};
    for (int y = 0; y < GridRows; ++y) {
        for (int x = 0; x < GridColumns; ++x) {
            bits[gridIndex(x, y)] = static_cast<std::uint8_t>(vars.PixelGrid[static_cast<std::size_t>(x)][static_cast<std::size_t>(y)]);
            if (x < PictureWidth && y < PictureHeight) {
                EXPECT_EQ(preview.pixel(x, y), bits[gridIndex(x, y)] ? ColourBlack : ColourWhite);
            }
        }
    }
    return bits;
}

double blackShare(const BitGrid& bits, int width, int height)
{
    int black = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            black += bits[gridIndex(x, y)];
        }
    }
    return static_cast<double>(black) / (width * height);
}

int differences(const BitGrid& a, const BitGrid& b)
{
    int n = 0;
    for (int y = 0; y < ScreenHeight; ++y) {
        for (int x = 0; x < ScreenWidth; ++x) {
            n += a[gridIndex(x, y)] != b[gridIndex(x, y)] ? 1 : 0;
        }
    }
    return n;
}

// A picture with smooth tones and some texture, like a frame of film.
int scene(int x, int y)
{
    return static_cast<int>(128 + 70 * std::sin(x / 9.0) * std::cos(y / 7.0) + 25 * std::sin(x * 1.3 + y * 0.7));
}

constexpr Pattern AllPatterns[] = {Pattern::Checkerboard, Pattern::Bayer2,    Pattern::Bayer4,
                                   Pattern::Bayer8,       Pattern::BlueNoise, Pattern::Diffusion,
                                   Pattern::Atkinson,     Pattern::Search};

std::string nameOf(const testing::TestParamInfo<Pattern>& info)
{
    return patternOption(info.param);
}

class EveryPattern : public testing::TestWithParam<Pattern> {};

INSTANTIATE_TEST_SUITE_P(Reduction, EveryPattern, testing::ValuesIn(AllPatterns), nameOf);

TEST_P(EveryPattern, ThresholdsKeepTheirMeaning)
{
    // Thirds of the screen: below the black range, inside the band, above
    // the white range.
    const auto greyAt = [](int x, int) { return x < 32 ? 84 : x < 64 ? 120 : 171; };
    auto vars = settings(GetParam(), 85, 170);
    const BitGrid bits = reduce(*vars, greyAt);
    for (int y = 0; y < ScreenHeight; ++y) {
        for (int x = 0; x < ScreenWidth; ++x) {
            if (x < 32) {
                ASSERT_EQ(bits[gridIndex(x, y)], 1) << x << "," << y;
            } else if (x >= 64) {
                ASSERT_EQ(bits[gridIndex(x, y)], 0) << x << "," << y;
            }
        }
    }
    const double band = [&] {
        int black = 0;
        for (int y = 0; y < 64; ++y) {
            for (int x = 32; x < 64; ++x) {
                black += bits[gridIndex(x, y)];
            }
        }
        return black / (32.0 * 64.0);
    }();
    // 120 lies 41 % of the way from the black to the white point: a pattern
    // draws about 59 % black; the checkerboard always 50 %, and so does the
    // search on a flat area.
    if (GetParam() == Pattern::Checkerboard || GetParam() == Pattern::Search) {
        EXPECT_DOUBLE_EQ(band, 0.5);
    } else {
        // Bayer 2 has five levels only: the nearest is 50 %.
        EXPECT_NEAR(band, 1.0 - 35.0 / 85.0, GetParam() == Pattern::Bayer2 ? 0.125 : 0.04);
    }

    // Without the dither every pattern draws the band white, as written.
    vars->DitherOn = false;
    const BitGrid plain = reduce(*vars, greyAt);
    for (int y = 0; y < ScreenHeight; ++y) {
        for (int x = 0; x < ScreenWidth; ++x) {
            ASSERT_EQ(plain[gridIndex(x, y)], x < 32 ? 1 : 0) << x << "," << y;
        }
    }
}

TEST_P(EveryPattern, StillFramesStayStillInARun)
{
    for (const bool exposure : {false, true}) {
        auto vars = settings(GetParam());
        vars->Pictures.autoExposure = exposure;
        const RunHistory run(*vars);
        const BitGrid first = reduce(*vars, scene);
        for (int f = 0; f < 4; ++f) {
            ASSERT_EQ(differences(reduce(*vars, scene), first), 0) << "frame " << f + 1 << " exposure " << exposure;
        }
    }
}

// The patterns that carry a history (the written checkerboard has none).
class VideoPattern : public testing::TestWithParam<Pattern> {};

INSTANTIATE_TEST_SUITE_P(Reduction, VideoPattern, testing::ValuesIn(AllPatterns + 1, std::end(AllPatterns)), nameOf);

TEST_P(VideoPattern, NoiseOnAStillPictureMovesAlmostNothing)
{
    auto vars = settings(GetParam());
    const RunHistory run(*vars);
    std::mt19937 random(3);
    std::normal_distribution<double> noise(0.0, 2.0);
    const auto noisy = [&](int x, int y) { return static_cast<int>(std::lround(scene(x, y) + noise(random))); };
    BitGrid last = reduce(*vars, noisy);
    int flipped = 0;
    constexpr int Frames = 10;
    for (int f = 0; f < Frames; ++f) {
        const BitGrid next = reduce(*vars, noisy);
        flipped += differences(next, last);
        last = next;
    }
    // Without the history each of these patterns flips percents of the
    // screen a frame here.
    EXPECT_LE(flipped, Frames * ScreenWidth * ScreenHeight / 500);  // 0.2 %
}

// A picture gliding one pixel a frame to the right (and one down every
// other frame): the error-diffusion patterns move with it, so the pixels of
// the new frame are mostly the last frame's, moved as the picture moved.
class DiffusionPattern : public testing::TestWithParam<Pattern> {};

INSTANTIATE_TEST_SUITE_P(Reduction, DiffusionPattern, testing::Values(Pattern::Diffusion, Pattern::Atkinson), nameOf);

TEST_P(DiffusionPattern, ThePatternMovesWithThePicture)
{
    auto vars = settings(GetParam());
    const RunHistory run(*vars);
    const auto frameAt = [](int f) {
        return [f](int x, int y) { return scene(x - f, y - f / 2); };
    };
    BitGrid last = reduce(*vars, frameAt(0));
    int moved = 0;
    int compared = 0;
    for (int f = 1; f <= 8; ++f) {
        const BitGrid next = reduce(*vars, frameAt(f));
        const int dy = f / 2 - (f - 1) / 2;
        // Away from the blocks of the edges, where new picture comes in.
        for (int y = 8; y < ScreenHeight - 8; ++y) {
            for (int x = 8; x < ScreenWidth - 8; ++x) {
                moved += next[gridIndex(x, y)] == last[gridIndex(x - 1, y - dy)] ? 1 : 0;
                ++compared;
            }
        }
        last = next;
    }
    // Diffused afresh, about half of them would match.
    EXPECT_GE(moved, compared * 9 / 10) << moved << " of " << compared;
}

TEST_P(EveryPattern, ARunStartsAfreshAndThePreviewStandsAlone)
{
    auto vars = settings(GetParam());
    const auto shifted = [](int x, int y) { return scene(x, y) + 9; };
    const BitGrid alone = reduce(*vars, shifted);
    {
        const RunHistory run(*vars);
        reduce(*vars, scene);
        reduce(*vars, shifted);
    }
    EXPECT_EQ(vars->History, nullptr);
    EXPECT_EQ(differences(reduce(*vars, shifted), alone), 0);
    const RunHistory second(*vars);
    EXPECT_EQ(differences(reduce(*vars, shifted), alone), 0);
}

struct MapCase {
    Pattern pattern;
    int side;  // the map's side; the share is counted over whole tiles
    double tolerance;
};

class FlatGrey : public testing::TestWithParam<MapCase> {};

TEST_P(FlatGrey, GivesTheShareOfBlackItsMapPromises)
{
    const MapCase c = GetParam();
    const int width = ScreenWidth / c.side * c.side;
    const int height = ScreenHeight / c.side * c.side;
    for (const int grey : {0, 20, 64, 100, 128, 191, 230, 255}) {
        auto vars = settings(c.pattern);
        const double share = blackShare(reduce(*vars, [grey](int, int) { return grey; }), width, height);
        EXPECT_NEAR(share, 1.0 - grey / 255.0, c.tolerance) << "grey " << grey;
    }
}

INSTANTIATE_TEST_SUITE_P(Reduction, FlatGrey,
                         testing::Values(
                             // An ordered map has side^2 + 1 levels: within half a level.
                             MapCase{Pattern::Bayer2, 2, 0.125}, MapCase{Pattern::Bayer4, 4, 1 / 32.0},
                             MapCase{Pattern::Bayer8, 8, 1 / 128.0}, MapCase{Pattern::BlueNoise, 64, 1 / 8192.0 + 1e-9},
                             // Diffusion and search keep the mean over the screen;
                             // Atkinson passes on only 3/4 of the error, so its
                             // shadows and highlights come out deeper.
                             MapCase{Pattern::Diffusion, 1, 0.01}, MapCase{Pattern::Atkinson, 1, 0.1}),
                         [](const testing::TestParamInfo<MapCase>& row) {
                             return std::string(patternOption(row.param.pattern));
                         });

TEST(Search, FlatAreasTakeThreeTonesAndTexturesKeepTheirMean)
{
    for (const int grey : {20, 50, 100, 128, 170, 230}) {
        auto vars = settings(Pattern::Search);
        const double share = blackShare(reduce(*vars, [grey](int, int) { return grey; }), 96, 64);
        const double nearest = std::round(2.0 * (1.0 - grey / 255.0)) / 2.0;
        EXPECT_EQ(share, nearest) << "grey " << grey;
    }
    // A fine texture is searched: the tones in between appear and the
    // mean stays.
    const auto texture = [](int x, int y) { return 100 + ((x * 7 + y * 11) % 13) * 5 + y; };
    auto vars = settings(Pattern::Search);
    const BitGrid bits = reduce(*vars, texture);
    double wanted = 0;
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 96; ++x) {
            wanted += 1.0 - texture(x, y) / 255.0;
        }
    }
    EXPECT_NEAR(blackShare(bits, 96, 64), wanted / (96 * 64), 0.02);
    const BitGrid ordered = reduce(*settings(Pattern::Bayer2), texture);
    EXPECT_GT(differences(bits, ordered), 200);  // not just the first guess
}

TEST(ThresholdMaps, BlueNoiseSpreadsItsFewPixelsApart)
{
    const ThresholdMap& map = blueNoiseMap();
    ASSERT_EQ(map.size, 64);
    const std::set<int> ranks(map.ranks.begin(), map.ranks.end());
    EXPECT_EQ(ranks.size(), 4096U);
    EXPECT_EQ(*ranks.rbegin(), 4095);
    // The first 1/16 of the ranks: no two of them touch, even diagonally,
    // on the torus the map is tiled on. (Bayer 4 also passes this; white
    // noise fails it in almost every row.)
    int touching = 0;
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            if (map.rank(x, y) >= 256) {
                continue;
            }
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    if ((dx != 0 || dy != 0) && map.rank((x + dx + 64) % 64, (y + dy + 64) % 64) < 256) {
                        ++touching;
                    }
                }
            }
        }
    }
    EXPECT_EQ(touching, 0);
    // Made in our code, the same every time.
    EXPECT_EQ(makeBlueNoiseMap(64, 20261208u).ranks, map.ranks);
}

TEST(Tone, GammaBendsTheMiddleAndKeepsTheEnds)
{
    const GammaTable lighter = gammaTable(2.0);
    EXPECT_EQ(lighter[0], 0);
    EXPECT_EQ(lighter[765], 765);
    EXPECT_EQ(lighter[3 * 64], std::lround(765 * std::sqrt(64.0 / 255.0)));
    EXPECT_LT(gammaTable(0.5)[3 * 128], 3 * 128);

    // A flat grey of 64 under gamma 2 is drawn as the grey of 128 is.
    auto vars = settings(Pattern::Bayer8);
    vars->Pictures.gamma = 2.0;
    EXPECT_NEAR(blackShare(reduce(*vars, [](int, int) { return 64; }), 96, 64), 0.5, 1 / 64.0);
}

TEST(Tone, AutoExposureLiftsADarkSceneAndGlidesWithinIt)
{
    // A dark forest, under a pattern's own full range.
    const auto dark = [](int x, int y) { return 15 + (x * 5 + y * 3) % 60; };
    auto vars = settings(Pattern::Bayer4, 0, 255);
    const double plain = blackShare(reduce(*vars, dark), 96, 64);
    EXPECT_GT(plain, 0.75);
    vars->Pictures.autoExposure = true;
    const double lifted = blackShare(reduce(*vars, dark), 96, 64);
    // Lifted, and still a dark scene.
    EXPECT_LT(lifted, plain - 0.1);
    EXPECT_GT(lifted, 0.5);
    EXPECT_EQ(vars->WhiteThreshold, 255);  // what the user set stays

    ExposureTracker tracker;
    const ExposureLevels start{30, 600};
    EXPECT_EQ(tracker.next(start).high, 600);
    // The tones drawing together: the dark end follows part of the way each
    // frame, never overshooting; a lighter light end is taken at once.
    const ExposureLevels narrower{40, 640};
    const ExposureLevels once = tracker.next(narrower);
    EXPECT_GT(once.low, 30);
    EXPECT_LT(once.low, 35);
    EXPECT_EQ(once.high, 640);
    double low = once.low;
    for (int f = 0; f < 40; ++f) {
        const double next = tracker.next(narrower).low;
        EXPECT_GE(next, low);
        EXPECT_LE(next, 40);
        low = next;
    }
    EXPECT_NEAR(low, 40, 1.0);
    // A cut to another scene is taken at once.
    EXPECT_EQ(tracker.next({300, 700}).low, 300);

    // A flat frame is not stretched into a pattern of its noise.
    const Thresholds3 flat = exposedThresholds(255, 510, {380, 390});
    EXPECT_GE(flat.white3 - flat.black3, 90);
}

TEST(Tone, AutoExposureNeverNarrowsTheScene)
{
    // A scene coming up from black, held, going down again, a cut to a
    // bright one whose tones then spread: every frame's band at the full
    // range holds the frame's own tones.
    ExposureTracker tracker;
    for (int f = 0; f < 100; ++f) {
        const double light = f < 20 ? f / 20.0 : f < 40 ? 1.0 : f < 60 ? (60 - f) / 20.0 : 0.0;
        const int spread = f < 60 ? 200 : 10 + 2 * (f - 60);
        const int base = f < 60 ? 20 : 250 - spread;
        GreyGrid grey{};
        for (int y = 0; y < GridRows; ++y) {
            for (int x = 0; x < GridColumns; ++x) {
                const double tone = base + spread * ((x * 7 + y * 13) % 97) / 96.0;
                grey[gridIndex(x, y)] = static_cast<std::int16_t>(std::lround(3 * tone * (f < 60 ? light : 1.0)));
            }
        }
        const ExposureLevels measured = measureExposure(grey);
        const Thresholds3 band = exposedThresholds(0, 765, tracker.next(measured));
        EXPECT_LE(band.black3, measured.low) << "frame " << f;
        EXPECT_GE(band.white3, measured.high) << "frame " << f;
    }
}

}  // namespace
}  // namespace zoetra
