// The sound stream: its levels against the handler's time, the reference
// decoder's pulses on the crystal's grid, the streams it refuses, and the
// level the room left chooses.
#include "codec/sound/SoundDecoder.h"
#include "codec/sound/SoundEncoder.h"
#include "support/Sounds.h"

#include <gtest/gtest.h>

#include <cmath>

namespace zoetra::sound {
namespace {

// The longest instruction a handler may have to wait for.
constexpr int LongestInstruction = 23;

TEST(SoundLevels, EveryPulseFitsItsSampleAtTheClocksPlayersMeet)
{
    double lastBytes = 0.0;
    for (const SoundLevel& level : Levels) {
        SCOPED_TRACE(testing::Message() << level.ticks << " ticks, " << level.bits << " bits");
        EXPECT_GT(level.bytesPerSecond(), lastBytes);
        lastBytes = level.bytesPerSecond();
        EXPECT_TRUE(level.bits == 2 || level.bits == 4);
        EXPECT_LT(level.minCount, level.maxCount);
        EXPECT_LE(level.maxCount, 255);
        // The shortest pulse ends after the handler that started it has
        // returned, so its end is taken at its time.
        EXPECT_GE(cost::StartCount + level.minCount * level.countTStates, cost::StartHandler);
        // The longest ends, and its handler returns, before the next sample,
        // also on a calculator whose "15 MHz" is 14.965 MHz.
        for (const double clock : {PlayerClockHz, 14'965'000.0}) {
            const double period = level.ticks * clock / CrystalHz;
            EXPECT_LE(cost::StartCount + level.maxCount * level.countTStates + LongestInstruction + cost::EndHandler,
                      period)
                << clock;
        }
    }
}

TEST(SoundStream, PulsesLieOnTheCrystalsGridWithinTheirSamples)
{
    const std::vector<float> music = test::musicLike(InputRate, 2.0);
    for (const SoundLevel& level : {Levels[2], Levels.back()}) {
        SCOPED_TRACE(testing::Message() << level.ticks << " ticks, " << level.bits << " bits");
        const std::vector<std::uint8_t> stream = encodeSound(music, level, {}, EncoderOptions{8});
        std::string error;
        const std::optional<DecodedSound> sound = decodeSound(stream, &error);
        ASSERT_TRUE(sound) << error;
        const long long samples = samplesFor(level, static_cast<long long>(music.size()));
        ASSERT_EQ(static_cast<long long>(sound->counts.size()), samples);
        EXPECT_EQ(static_cast<long long>(stream.size()), streamBytes(level, samples));
        ASSERT_EQ(sound->edges.size(), sound->counts.size() * 2);
        const double period = level.ticks * sound->clockHz / CrystalHz;
        int lowest = 255, highest = 0;
        for (std::size_t k = 0; k < sound->counts.size(); ++k) {
            const int count = sound->counts[k];
            lowest = std::min(lowest, count);
            highest = std::max(highest, count);
            ASSERT_GE(count, level.minCount);
            ASSERT_LE(count, level.maxCount);
            const LineEdge& start = sound->edges[2 * k];
            const LineEdge& end = sound->edges[2 * k + 1];
            ASSERT_EQ(start.held, BothLinesLow);
            ASSERT_EQ(end.held, LinesReleased);
            // Sample k starts at expiry k + 1, never drifting from the
            // crystal's time, by the handler's own T-states.
            const double expiry = static_cast<double>(k + 1) * period;
            ASSERT_GE((static_cast<double>(start.clock) - cost::StartLines), expiry - 1e-6);
            ASSERT_LT((static_cast<double>(start.clock) - cost::StartLines), expiry + 1.0);
            ASSERT_EQ(static_cast<long long>(end.clock - start.clock),
                      cost::StartCount - cost::StartLines + count * level.countTStates + cost::EndLines);
            if (k + 1 < sound->counts.size()) {
                ASSERT_LT(end.clock, sound->edges[2 * k + 2].clock);
            }
        }
        // Music moves the pulses over much of their range.
        EXPECT_GT(highest - lowest, (level.maxCount - level.minCount) / 3);
        EXPECT_EQ(sound->handlerTStates, samples * (cost::StartHandler + cost::EndHandler));
    }
}

TEST(SoundStream, SilenceIsAStillPulse)
{
    const std::vector<float> silence(InputRate, 0.0f);
    const std::vector<std::uint8_t> stream = encodeSound(silence, Levels[2]);
    const std::optional<DecodedSound> sound = decodeSound(stream, nullptr);
    ASSERT_TRUE(sound);
    ASSERT_FALSE(sound->counts.empty());
    for (const std::uint8_t count : sound->counts) {
        ASSERT_EQ(count, sound->counts.front());  // no hiss where there is no sound
    }
}

TEST(SoundStream, TheLevelHoldsAtItsEndsAndTheChangeWrapsAsTheCalculatorsDo)
{
    // The largest rise near the top holds there rather than wrapping round.
    const DecoderState high{32000, 3000, 20};
    const DecoderState held = decodeStep(high, 2, 1);
    EXPECT_EQ(held.level, 32767);
    EXPECT_EQ(pulseCount(Levels[2], held.level), Levels[2].maxCount);
    const DecoderState low = decodeStep(DecoderState{-32000, -3000, 20}, 2, 3);
    EXPECT_EQ(low.level, -32768);
    EXPECT_EQ(pulseCount(Levels[2], low.level), Levels[2].minCount);
    // The change is 16 bits: past 32767 it turns negative, as on the Z80.
    const DecoderState wrapped = decodeStep(DecoderState{0, 32000, 31}, 2, 1);
    EXPECT_LT(wrapped.change, 0);
}

TEST(SoundStream, StreamsThePlayerCouldNotPlayAreRefused)
{
    const std::vector<std::uint8_t> good = encodeSound(std::vector<float>(6000, 0.0f), Levels[2]);
    ASSERT_TRUE(decodeSound(good, nullptr));
    const auto refused = [](std::vector<std::uint8_t> stream) {
        std::string error;
        const bool decoded = decodeSound(stream, &error).has_value();
        return !decoded && !error.empty();
    };
    std::vector<std::uint8_t> noLevel = good;
    noLevel[0] = 9;  // no level counts 9 ticks
    EXPECT_TRUE(refused(noLevel));
    std::vector<std::uint8_t> otherTimer = good;
    otherTimer[2] = 0x82;  // the level's timer 2 counts 8 T-states
    EXPECT_TRUE(refused(otherTimer));
    std::vector<std::uint8_t> reserved = good;
    reserved[3] = 1;
    EXPECT_TRUE(refused(reserved));
    EXPECT_TRUE(refused(std::vector<std::uint8_t>(good.begin(), good.end() - 1)));
    std::vector<std::uint8_t> longer = good;
    longer.push_back(0);
    EXPECT_TRUE(refused(longer));
    EXPECT_TRUE(refused(std::vector<std::uint8_t>(good.begin(), good.begin() + 5)));
}

TEST(SoundLevels, TheRoomLeftChoosesTheLevel)
{
    const long long threeMinutes = 219LL * InputRate;
    for (std::size_t i = 0; i < Levels.size(); ++i) {
        const long long bytes = streamBytes(Levels[i], samplesFor(Levels[i], threeMinutes));
        EXPECT_EQ(bestLevel(bytes, threeMinutes), Levels[i]);
        const std::optional<SoundLevel> less = bestLevel(bytes - 1, threeMinutes);
        if (i == 0) {
            EXPECT_FALSE(less);
        } else {
            ASSERT_TRUE(less);
            EXPECT_LT(less->bytesPerSecond(), Levels[i].bytesPerSecond());
        }
    }
}

}  // namespace
}  // namespace zoetra::sound
