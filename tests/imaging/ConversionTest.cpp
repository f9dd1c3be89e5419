#include "imaging/Conversion.h"
#include "platform/ImagePictureArea.h"
#include "shared/Vars.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

namespace zoetra {
namespace {

// A source that answers every coordinate from a function, including those
// beyond a real area's surface.
class FunctionArea final : public PictureArea {
public:
    explicit FunctionArea(std::function<Colour(int, int)> f) : f_(std::move(f)) {}
    Colour pixel(int x, int y) const override { return f_(x, y); }
    void setPixel(int, int, Colour) override {}
    void refresh() override {}
    void setPicture(const QImage&) override {}

private:
    std::function<Colour(int, int)> f_;
};

const auto checker = [](int x, int y) { return (x + y) % 2 == 0 ? 1 : 0; };
const auto allBlack = [](int, int) { return 1; };
const auto allWhite = [](int, int) { return 0; };

struct MonoCase {
    std::string name;
    std::function<Colour(int, int)> source;
    int black;
    int white;
    bool dither;
    int channel;
    std::function<int(int, int)> expected;
};

void PrintTo(const MonoCase& c, std::ostream* os)
{
    *os << c.name;
}

class ConvertToMonoTest : public testing::TestWithParam<MonoCase> {};

TEST_P(ConvertToMonoTest, ClassifiesEveryCellAndDrawsIt)
{
    const MonoCase& c = GetParam();
    Vars vars;
    vars.BlackThreshold = static_cast<std::int16_t>(c.black);
    vars.WhiteThreshold = static_cast<std::int16_t>(c.white);
    vars.DitherOn = c.dither;
    vars.ColourChannel = static_cast<std::int16_t>(c.channel);
    // Start from the opposite of a plausible result so stale cells show.
    for (auto& column : vars.PixelGrid) {
        column.fill(7);
    }
    FunctionArea source(c.source);
    MemoryPictureArea preview;

    ConvertToMono(vars, source, preview);

    for (int x = 0; x < GridColumns; ++x) {
        for (int y = 0; y < GridRows; ++y) {
            const int want = c.expected(x, y);
            ASSERT_EQ(vars.PixelGrid[static_cast<std::size_t>(x)][static_cast<std::size_t>(y)], want)
                << "at " << x << "," << y;
            if (x < PictureWidth && y < PictureHeight) {
                ASSERT_EQ(preview.pixel(x, y), want ? ColourBlack : ColourWhite) << "at " << x << "," << y;
            }
        }
    }
    EXPECT_EQ(preview.refreshCount(), 1);
}

const Colour grey128 = makeColour(128, 128, 128);

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, ConvertToMonoTest,
    testing::Values(
        MonoCase{"PureWhiteIsWhite", [](int, int) { return ColourWhite; }, 85, 170, true, 1, allWhite},
        MonoCase{"GreyDithersOnAbsoluteCoordinates", [](int, int) { return grey128; }, 85, 170, true, 1, checker},
        MonoCase{"GreyWithoutDitherIsWhite", [](int, int) { return grey128; }, 85, 170, false, 1, allWhite},
        MonoCase{"ValueAtBlackThresholdIsNotBlack", [](int, int) { return makeColour(85, 85, 85); }, 85, 170, true, 1, checker},
        MonoCase{"ValueAtWhiteThresholdDithers", [](int, int) { return makeColour(170, 170, 170); }, 85, 170, true, 1, checker},
        MonoCase{"RedChannelOfPureBlueIsBlack", [](int, int) { return makeColour(0, 0, 255); }, 1, 170, true, 2, allBlack},
        MonoCase{"GreenChannel", [](int x, int) { return makeColour(255, x < 48 ? 10 : 250, 255); }, 85, 170, true, 3,
                 [](int x, int) { return x < 48 ? 1 : 0; }},
        MonoCase{"BlueChannel", [](int, int y) { return makeColour(0, 0, y < 32 ? 250 : 10); }, 85, 170, true, 4,
                 [](int, int y) { return y < 32 ? 0 : 1; }},
        MonoCase{"MeanIsUnroundedThirdBlack", [](int, int) { return makeColour(100, 0, 0); }, 34, 170, false, 1, allBlack},
        MonoCase{"MeanIsUnroundedThirdNotBlack", [](int, int) { return makeColour(100, 0, 0); }, 33, 170, false, 1, allWhite},
        MonoCase{"UnreadablePixelIsBlackForMean", [](int, int) { return UnreadableColour; }, 0, 170, true, 1, allBlack},
        MonoCase{"UnreadablePixelIsZeroForGreen", [](int, int) { return UnreadableColour; }, 0, 170, true, 3, checker},
        MonoCase{"UnknownChannelMakesEveryValueZero", [](int, int) { return ColourWhite; }, 1, 170, true, 0, allBlack},
        MonoCase{"UnknownChannelAtBlackZeroDithers", [](int, int) { return ColourWhite; }, 0, 170, true, 5, checker},
        MonoCase{"CrossedThresholdsLeaveNoMiddleBand", [](int x, int) { return x < 40 ? grey128 : makeColour(200, 200, 200); },
                 150, 100, true, 1, [](int x, int) { return x < 40 ? 1 : 0; }}),
    [](const testing::TestParamInfo<MonoCase>& param) { return param.param.name; });

TEST(ConvertToMono, ReadsBeyondTheSurfaceAsUnreadable)
{
    // Column 96 lies outside a 96-column area: unreadable, so black under the
    // mean; row 64 is the area's last row and is read like any other.
    Vars vars;
    vars.BlackThreshold = 85;
    vars.WhiteThreshold = 170;
    vars.DitherOn = true;
    vars.ColourChannel = 1;
    MemoryPictureArea source;
    source.fill(ColourWhite);
    MemoryPictureArea preview;
    ConvertToMono(vars, source, preview);
    for (std::size_t y = 0; y < GridRows; ++y) {
        EXPECT_EQ(vars.PixelGrid[96][y], 1);
        EXPECT_EQ(vars.PixelGrid[95][y], 0);
    }
    EXPECT_EQ(vars.PixelGrid[10][64], 0);
}

TEST(ConvertToMono, PatternsReadColoursAsTheWrittenReductionDoes)
{
    // Without the dither a pattern draws the band white, as the written
    // reduction does, so the two agree cell for cell only if they read the
    // same value from every colour: negative ones (split by division, not
    // by shifts) and the cells beyond the surface included.
    const auto colourAt = [](int x, int y) -> Colour {
        switch ((x + 3 * y) % 5) {
        case 0: return UnreadableColour;
        case 1: return -65535;
        case 2: return makeColour(x * 2, y * 3, 200 - x);
        case 3: return ColourWhite;
        default: return makeColour(90, 10, 250);
        }
    };
    FunctionArea source(colourAt);
    MemoryPictureArea buffer;  // holds the readable colours only
    for (int y = 0; y < PictureHeight; ++y) {
        for (int x = 0; x < PictureWidth; ++x) {
            buffer.setPixel(x, y, std::max(colourAt(x, y), 0));
        }
    }
    const std::initializer_list<const PictureArea*> areas = {&source, &buffer};
    for (const PictureArea* area : areas) {
        for (int channel = 0; channel <= 4; ++channel) {
            for (const int black : {1, 50, 128, 200}) {
                const auto reduce = [&](Pattern pattern) {
                    Vars vars;
                    vars.BlackThreshold = static_cast<std::int16_t>(black);
                    vars.WhiteThreshold = 250;
                    vars.DitherOn = false;
                    vars.ColourChannel = static_cast<std::int16_t>(channel);
                    vars.Pictures.pattern = pattern;
                    MemoryPictureArea preview;
                    ConvertToMono(vars, *area, preview);
                    return vars.PixelGrid;
                };
                ASSERT_EQ(reduce(Pattern::Bayer4), reduce(Pattern::Checkerboard))
                    << "channel " << channel << " black " << black << (area == &source ? " (any area)" : " (buffer)");
            }
        }
    }
}

TEST(ConvertToMono, ValuesBelowTheChannelsAreSolidBlackToEveryPattern)
{
    // A negative colour such as -65535 splits into channels below 0: below
    // the band, such a pixel is drawn as pure black is and, under error
    // diffusion, takes and passes on no error either.
    const auto picture = [](Colour odd) {
        return [odd](int x, int y) -> Colour {
            if ((x * 7 + y * 3) % 11 == 0) {
                return odd;
            }
            const int g = (x * 5 + y * 2) % 256;
            return makeColour(g, 255 - g, (g + 99) % 256);
        };
    };
    for (const PatternName& name : PatternNames) {
        const auto reduce = [&](Colour odd) {
            Vars vars;
            vars.BlackThreshold = 1;
            vars.WhiteThreshold = 254;
            vars.DitherOn = true;
            vars.ColourChannel = 1;
            vars.Pictures.pattern = name.pattern;
            FunctionArea source(picture(odd));
            MemoryPictureArea preview;
            ConvertToMono(vars, source, preview);
            return vars.PixelGrid;
        };
        ASSERT_EQ(reduce(-65535), reduce(ColourBlack)) << name.option;
    }
}

TEST(SplitColour, GivesBytesAndTheUnreadableSplit)
{
    const Channels c = splitColour(makeColour(12, 34, 56));
    EXPECT_EQ(c.red, 12);
    EXPECT_EQ(c.green, 34);
    EXPECT_EQ(c.blue, 56);
    const Channels u = splitColour(-1);
    EXPECT_EQ(u.red, -1);
    EXPECT_EQ(u.green, 0);
    EXPECT_EQ(u.blue, 0);
    // Another negative value, split by truncating real division.
    const Channels n = splitColour(-65535);
    EXPECT_EQ(n.blue, 0);
    EXPECT_EQ(n.green, -255);
    EXPECT_EQ(n.red, -255);
}

class PackFrameTest : public testing::Test {
protected:
    void setGrid(const std::function<int(int, int)>& f)
    {
        for (int x = 0; x < GridColumns; ++x) {
            for (int y = 0; y < GridRows; ++y) {
                vars.PixelGrid[static_cast<std::size_t>(x)][static_cast<std::size_t>(y)] =
                    static_cast<std::int16_t>(f(x, y));
            }
        }
    }
    Vars vars;
};

TEST_F(PackFrameTest, BeforeAnyConversionEveryByteIsZero)
{
    vars.FrameBytes.fill(99);
    PackFrame(vars);
    for (auto b : vars.FrameBytes) {
        ASSERT_EQ(b, 0);
    }
}

TEST_F(PackFrameTest, SolidAndCheckerboardGrids)
{
    setGrid(allBlack);
    PackFrame(vars);
    for (auto b : vars.FrameBytes) {
        ASSERT_EQ(b, 255);
    }
    setGrid(checker);
    PackFrame(vars);
    for (int i = 0; i < FrameByteCount; ++i) {
        ASSERT_EQ(vars.FrameBytes[static_cast<std::size_t>(i)], (i / 12) % 2 == 0 ? 170 : 85) << i;
    }
}

TEST_F(PackFrameTest, SinglePixelsLandInTheirBit)
{
    struct Pixel {
        int x, y, index, value;
    };
    for (const Pixel p : {Pixel{0, 0, 0, 128}, Pixel{95, 63, 767, 1}, Pixel{8, 1, 13, 128}, Pixel{13, 5, 61, 4}}) {
        setGrid([&](int x, int y) { return x == p.x && y == p.y ? 1 : 0; });
        PackFrame(vars);
        for (int i = 0; i < FrameByteCount; ++i) {
            ASSERT_EQ(vars.FrameBytes[static_cast<std::size_t>(i)], i == p.index ? p.value : 0)
                << "pixel " << p.x << "," << p.y << " byte " << i;
        }
    }
}

TEST_F(PackFrameTest, ExtraColumnAndRowAreNeverPacked)
{
    setGrid([](int x, int y) { return x == 96 || y == 64 ? 1 : 0; });
    PackFrame(vars);
    for (auto b : vars.FrameBytes) {
        ASSERT_EQ(b, 0);
    }
}

}  // namespace
}  // namespace zoetra
