#include "imaging/AutoBalance.h"
#include "platform/ImagePictureArea.h"
#include "shared/Vars.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <memory>

namespace zoetra {
namespace {

AutoBalanceProposal balanceOf(const std::function<Colour(int, int)>& colourAt)
{
    MemoryPictureArea area;
    test::paint(area, colourAt);
    return computeAutoBalance(area);
}

TEST(AutoBalance, UniformFrames)
{
    struct Case {
        int grey, black, white;
    };
    // 128: two thirds of 128 is 85.33, rounded to 85.
    for (const Case c : {Case{255, 170, 255}, Case{0, 0, 0}, Case{128, 85, 128}}) {
        const AutoBalanceProposal p = balanceOf([&](int, int) { return makeColour(c.grey, c.grey, c.grey); });
        EXPECT_EQ(p.black, c.black) << c.grey;
        EXPECT_EQ(p.white, c.white) << c.grey;
    }
}

TEST(AutoBalance, HalfwayRoundsToEven)
{
    // 1,536 pixels of 126 and 4,608 of 127: mean 126.75, two thirds 84.5.
    const AutoBalanceProposal p = balanceOf([](int, int y) {
        const int g = y < 16 ? 126 : 127;
        return makeColour(g, g, g);
    });
    EXPECT_EQ(p.black, 84);
    EXPECT_EQ(p.white, 127);
}

TEST(AutoBalance, AveragesAllChannelsOverTheCalculatorFrameOnly)
{
    // Pure red: mean 85, black 56.67 -> 57. Row 64 is black and must not
    // count, or the mean would drop.
    const AutoBalanceProposal p = balanceOf([](int, int y) { return y == 64 ? ColourBlack : makeColour(255, 0, 0); });
    EXPECT_EQ(p.black, 57);
    EXPECT_EQ(p.white, 85);
}

TEST(AutoBalance, HalfwayWhiteRoundsToEven)
{
    // Half the frame 0, half 1 in every channel: mean 0.5 rounds to 0; with
    // 3 of every 4 rows at 3 the mean is 2.25 (white 2) and black 1.5 -> 2.
    EXPECT_EQ(balanceOf([](int, int y) { return y % 2 ? makeColour(1, 1, 1) : 0; }).white, 0);
    const AutoBalanceProposal p = balanceOf([](int, int y) { return y % 4 ? makeColour(3, 3, 3) : 0; });
    EXPECT_EQ(p.white, 2);
    EXPECT_EQ(p.black, 2);
}

TEST(AutoBalance, APatternIsGivenABandThatHoldsEachScene)
{
    struct Scene {
        const char* name;
        int low;
        int high;
    };
    auto vars = std::make_unique<Vars>();
    vars->ColourChannel = 1;
    vars->Pictures.pattern = Pattern::Bayer4;
    std::vector<int> whites;
    for (const Scene scene : {Scene{"dark", 15, 75}, Scene{"mid-grey", 120, 136}, Scene{"bright", 170, 250}}) {
        // Textured: the tones spread evenly from low to high.
        MemoryPictureArea area;
        test::paint(area, [&](int x, int y) {
            const int g = scene.low + (x * 37 + y * 91) % 97 * (scene.high - scene.low) / 96;
            return makeColour(g, g, g);
        });
        const AutoBalanceProposal p = proposeAutoBalance(*vars, area);
        // No tone of the scene is drawn solid black or white.
        EXPECT_LE(p.black, scene.low) << scene.name;
        EXPECT_GE(p.white, scene.high) << scene.name;
        whites.push_back(p.white);

        // The checkerboard keeps the written proposal.
        vars->Pictures.pattern = Pattern::Checkerboard;
        const AutoBalanceProposal written = proposeAutoBalance(*vars, area);
        EXPECT_EQ(written.black, computeAutoBalance(area).black) << scene.name;
        EXPECT_EQ(written.white, computeAutoBalance(area).white) << scene.name;
        vars->Pictures.pattern = Pattern::Bayer4;
    }
    // The band follows the scene: the darker the scene, the more it is lifted.
    EXPECT_LT(whites[0], whites[1]);
    EXPECT_LT(whites[1], whites[2]);

    // The tones measured are the chosen channel's: red from 150 to 250.
    MemoryPictureArea red;
    test::paint(red, [](int x, int y) { return makeColour(150 + (x + y) % 101, 0, 0); });
    vars->ColourChannel = 2;
    EXPECT_GE(proposeAutoBalance(*vars, red).white, 250);
}

}  // namespace
}  // namespace zoetra
