// The link port's lines heard: the changes kept exactly, and rendered as a
// band-limited mono sound at the times they came.
#include "shared/LineSound.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace zoetra {
namespace {

constexpr std::uint64_t ClockHz = 30'000'000;
constexpr int Rate = 44'100;

// A square wave of `hz` on the lines `held` from clock 0 for `seconds`.
LineEdges square(double hz, std::uint8_t held, double seconds)
{
    LineEdges edges;
    const double half = static_cast<double>(ClockHz) / hz / 2;
    for (int i = 0; i * half < seconds * static_cast<double>(ClockHz); ++i) {
        edges.add({static_cast<std::uint64_t>(std::llround(i * half)), static_cast<std::uint8_t>(i % 2 == 0 ? held : 0)});
    }
    return edges;
}

// Upward crossings of 0 a second, over the samples from `from` on.
double crossingsPerSecond(const std::vector<float>& samples, std::size_t from)
{
    int crossings = 0;
    for (std::size_t i = from + 1; i < samples.size(); ++i) {
        crossings += samples[i - 1] < 0 && samples[i] >= 0 ? 1 : 0;
    }
    return crossings / (static_cast<double>(samples.size() - from) / Rate);
}

TEST(LineEdges, EveryChangeComesBackWithItsTime)
{
    const std::vector<LineEdge> given = {{0, 1},           {0, 3},           {1, 0},         {128, 2},
                                         {128 + 16383, 1}, {1ull << 40, 0}, {(1ull << 61) + 5, 3}};
    LineEdges edges;
    for (const LineEdge& edge : given) {
        edges.add(edge);
    }
    EXPECT_EQ(edges.size(), given.size());
    EXPECT_EQ(edges.all(), given);
    EXPECT_EQ(edges.last(), given.back());
}

TEST(LineSound, ASquareWaveSoundsAtItsRateWithBothLinesAsOne)
{
    const std::vector<float> both = renderLineSound(square(441.0, 3, 1.0), 0, ClockHz, ClockHz, Rate);
    const std::vector<float> tip = renderLineSound(square(441.0, 1, 1.0), 0, ClockHz, ClockHz, Rate);
    ASSERT_EQ(both.size(), static_cast<std::size_t>(Rate) + 1);
    // Past the first tenth of a second, when the speaker's DC has settled.
    EXPECT_NEAR(crossingsPerSecond(both, Rate / 10), 441.0, 1.5);
    // The level between the edges: the median of each half's samples.
    const auto level = [](const std::vector<float>& samples, bool upper) {
        std::vector<float> half;
        for (std::size_t i = Rate / 2; i < samples.size(); ++i) {
            if ((samples[i] > 0) == upper) {
                half.push_back(samples[i]);
            }
        }
        std::nth_element(half.begin(), half.begin() + static_cast<std::ptrdiff_t>(half.size() / 2), half.end());
        return static_cast<double>(half[half.size() / 2]);
    };
    // Both lines swing the full 0.9, half of it either side of the rest.
    EXPECT_NEAR(level(both, true), 0.45, 0.02);
    EXPECT_NEAR(level(both, false), -0.45, 0.02);
    // One line is half the swing of both.
    EXPECT_NEAR(level(tip, true) - level(tip, false), 0.45, 0.02);
    for (const float sample : both) {
        ASSERT_LE(std::abs(sample), 1.0f);
    }
}

TEST(LineSound, AnEdgeBetweenTwoSamplesMovesTheSoundByItsFraction)
{
    // Where the sound passes half of one step from released to held.
    const auto halfway = [](std::uint64_t clock) {
        LineEdges edges;
        edges.add({clock, 3});
        const std::vector<float> samples = renderLineSound(edges, 0, ClockHz / 100, ClockHz, Rate);
        // Halfway between the rest before the step and the level after it,
        // both outside the filter's reach.
        const float half = (samples[80] + samples[125]) / 2;
        for (std::size_t i = 1; i < samples.size(); ++i) {
            if (samples[i] <= half) {
                return static_cast<double>(i - 1) + (samples[i - 1] - half) / (samples[i - 1] - samples[i]);
            }
        }
        return -1.0;
    };
    const std::uint64_t at = 100 * ClockHz / Rate;  // sample 100
    const double onSample = halfway(at);
    EXPECT_NEAR(onSample, 100.0, 0.05);
    // A quarter and a half of a sample later.
    EXPECT_NEAR(halfway(at + ClockHz / Rate / 4) - onSample, 0.25, 0.05);
    EXPECT_NEAR(halfway(at + ClockHz / Rate / 2) - onSample, 0.5, 0.05);
}

TEST(LineSound, ACarrierAboveTheCutOffLeavesOnlyItsAverage)
{
    // Both lines pulsed at 62.5 kHz: even, the carrier is all there is and
    // falls silent; its width changed at 440 Hz, that tone is what is heard.
    LineEdges even;
    LineEdges modulated;
    constexpr std::uint64_t period = 480;  // 62.5 kHz
    for (std::uint64_t start = 0; start < ClockHz * 6 / 10; start += period) {
        even.add({start, 3});
        even.add({start + period / 2, 0});
        const bool wide = (start * 880 / ClockHz) % 2 == 0;
        modulated.add({start, 3});
        modulated.add({start + (wide ? period * 3 / 4 : period / 4), 0});
    }
    // Past a third of a second, when the speaker has let go of the carrier's
    // average, up to where the end cuts the carrier off.
    const std::vector<float> flat = renderLineSound(even, 0, ClockHz * 6 / 10, ClockHz, Rate);
    for (std::size_t i = Rate / 3; i + LineSound::HalfWidth < flat.size(); ++i) {
        ASSERT_LT(std::abs(flat[i]), 0.01f) << "sample " << i;
    }
    const std::vector<float> tone = renderLineSound(modulated, 0, ClockHz * 6 / 10, ClockHz, Rate);
    EXPECT_NEAR(crossingsPerSecond(tone, Rate / 3), 440.0, 3.0);
}

TEST(LineSound, PlayedInPiecesItIsTheSoundRenderedInOneGo)
{
    std::mt19937 random(7);
    LineEdges edges;
    std::vector<LineEdge> list;
    std::uint64_t clock = 0;
    for (int i = 0; i < 3000; ++i) {
        clock += random() % 40'000;
        list.push_back({clock, static_cast<std::uint8_t>(random() % 4)});
        edges.add(list.back());
    }
    const std::uint64_t end = clock + ClockHz / 100;
    const std::vector<float> whole = renderLineSound(edges, 0, end, ClockHz, Rate);
    // As a live playback hands them on: the changes up to each moment, the
    // samples that moment allows.
    LineSound live(ClockHz, Rate);
    std::vector<float> pieces;
    std::size_t next = 0;
    for (std::uint64_t now = 0; now < end; now += random() % 200'000) {
        for (; next < list.size() && list[next].clock <= now; ++next) {
            live.add(list[next]);
        }
        live.renderUntil(now, pieces);
    }
    for (; next < list.size(); ++next) {
        live.add(list[next]);
    }
    live.finish(end, pieces);
    EXPECT_EQ(pieces, whole);
}

}  // namespace
}  // namespace zoetra
