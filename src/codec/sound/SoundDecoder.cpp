#include "codec/sound/SoundDecoder.h"

#include <cmath>

namespace zoetra::sound {

namespace {

void fail(std::string* error, std::string text)
{
    if (error) {
        *error = std::move(text);
    }
}

}  // namespace

std::int64_t expiryTState(const SoundLevel& level, long long k, double clockHz)
{
    // k * ticks crystal ticks at 32768 Hz, in the CPU's T-states; exact in
    // whole ticks, so computed from the ticks' count, never accumulated.
    const long double tStates = static_cast<long double>(k) * level.ticks * clockHz / CrystalHz;
    return static_cast<std::int64_t>(std::ceil(tStates - 1e-9L));
}

std::optional<DecodedSound> decodeSound(std::span<const std::uint8_t> stream, std::string* error, double clockHz)
{
    const std::optional<SoundLevel> level = levelOf(stream);
    if (!level) {
        fail(error, "the header names no sound level");
        return std::nullopt;
    }
    const long long samples = static_cast<long long>(stream[4]) | static_cast<long long>(stream[5]) << 8 |
                              static_cast<long long>(stream[6]) << 16 | static_cast<long long>(stream[7]) << 24;
    if (static_cast<long long>(stream.size()) != streamBytes(*level, samples)) {
        fail(error, "the stream holds " + std::to_string(stream.size()) + " bytes, its " + std::to_string(samples) +
                        " samples " + std::to_string(streamBytes(*level, samples)));
        return std::nullopt;
    }
    DecodedSound sound;
    sound.level = *level;
    sound.clockHz = clockHz;
    sound.counts.reserve(static_cast<std::size_t>(samples));
    sound.edges.reserve(static_cast<std::size_t>(samples) * 2);
    const int perByte = 8 / level->bits;
    const int mask = (1 << level->bits) - 1;
    DecoderState state;
    for (long long k = 0; k < samples; ++k) {
        const std::uint8_t byte = stream[static_cast<std::size_t>(HeaderBytes + k / perByte)];
        const int shift = 8 - level->bits * static_cast<int>(k % perByte + 1);
        state = decodeStep(state, level->bits, (byte >> shift) & mask);
        const int count = pulseCount(*level, state.level);
        sound.counts.push_back(static_cast<std::uint8_t>(count));
        const std::int64_t taken = expiryTState(*level, k + 1, clockHz);
        sound.edges.push_back({static_cast<std::uint64_t>(taken + cost::StartLines), BothLinesLow});
        sound.edges.push_back(
            {static_cast<std::uint64_t>(taken + cost::StartCount + static_cast<std::int64_t>(count) * level->countTStates +
                                        cost::EndLines),
             LinesReleased});
    }
    sound.handlerTStates = samples * (cost::StartHandler + cost::EndHandler);
    return sound;
}

}  // namespace zoetra::sound
