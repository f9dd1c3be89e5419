// The sound as the player plays it, measured against its source: the made
// sounds come through the encoder and the reference decoder within the
// benchmark's figures; the measure finds a delay and a scale it is given.
#include "codec/sound/SoundDecoder.h"
#include "codec/sound/SoundEncoder.h"
#include "media/SoundImport.h"
#include "media/SoundQuality.h"
#include "support/Sounds.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace zoetra::media {
namespace {

constexpr int MadeRate = 44100;

// What a made sound comes to, played at `level`.
SoundQuality played(const std::vector<float>& made, const sound::SoundLevel& level)
{
    const std::vector<float> input = resampleSound(made, MadeRate, sound::InputRate);
    const std::vector<std::uint8_t> stream = sound::encodeSound(input, level);
    std::string error;
    const std::optional<sound::DecodedSound> decoded = sound::decodeSound(stream, &error);
    EXPECT_TRUE(decoded) << error;
    if (!decoded) {
        return {};
    }
    const double seconds = static_cast<double>(made.size()) / MadeRate;
    return measureSound(made, MadeRate,
                        measuredLines(decoded->edges, static_cast<std::uint64_t>(decoded->clockHz),
                                    static_cast<std::size_t>(seconds * MeasureRenderRate)));
}

TEST(SoundQuality, MadeSoundsComeThroughWithinTheBenchmarksFigures)
{
    struct Made {
        const char* name;
        std::function<std::vector<float>(int, double)> make;
        double atTi84Plus;  // dB at the TI-84 Plus's level, as sound_benchmark finds it less a margin
    };
    const Made sounds[] = {
        {"sine sweep", test::sineSweep, 12.5},
        {"music-like", test::musicLike, 8.5},
        {"speech-like", test::speechLike, 9.0},
    };
    for (const Made& made : sounds) {
        SCOPED_TRACE(made.name);
        const std::vector<float> source = made.make(MadeRate, 4.0);
        const SoundQuality low = played(source, sound::Levels[2]);
        const SoundQuality high = played(source, sound::Levels.back());
        EXPECT_GT(low.segments, 50);
        EXPECT_GE(low.segmentalSnr, made.atTi84Plus);
        // The most bytes a second play it far closer.
        EXPECT_GE(high.segmentalSnr, low.segmentalSnr + 6.0);
        // The player's delay: a sample and the pulse's middle, well under a
        // millisecond.
        EXPECT_GT(low.delaySeconds, 0.0);
        EXPECT_LT(low.delaySeconds, 0.001);
    }
}

TEST(SoundQuality, TheMeasureFindsTheDelayAndTheScaleItIsGiven)
{
    const int rate = sound::InputRate;
    const std::vector<float> source = test::musicLike(rate, 3.0);
    const std::vector<float> at64k = resampleSound(source, rate, MeasureRenderRate);
    // 150 samples late at 64 kHz: 18.75 at 8 kHz; a third as loud.
    std::vector<float> late(150, 0.0f);
    for (const float sample : at64k) {
        late.push_back(sample / 3.0f);
    }
    const SoundQuality same = measureSound(source, rate, late);
    EXPECT_NEAR(same.delaySeconds, 150.0 / MeasureRenderRate, 0.1 / MeasureRenderRate);
    EXPECT_GT(same.segmentalSnr, 30.0);

    // Another sound altogether is nowhere near it.
    const SoundQuality other = measureSound(source, rate, resampleSound(test::speechLike(rate, 3.0), rate, MeasureRenderRate));
    EXPECT_LT(other.segmentalSnr, 1.0);

    // Silence has no segment to measure.
    const std::vector<float> silence(static_cast<std::size_t>(rate * 2), 0.0f);
    const SoundQuality none = measureSound(silence, rate, resampleSound(silence, rate, MeasureRenderRate));
    EXPECT_EQ(none.segments, 0);
    EXPECT_GT(none.silentSegments, 0);
}

}  // namespace
}  // namespace zoetra::media
