#include "codec/sound/SoundFormat.h"

#include <algorithm>
#include <vector>

namespace zoetra::sound {

namespace {

// 2-bit codes: 32 steps from 32 (in 1/256 of a count's level), each 1.2
// times the one before; a code's change is 0.55 or 1.7 steps; the small
// size moves one step down, the large two up.
constexpr int Steps2 = 32;
// 4-bit codes: 56 steps from 16, each 1.1 times the one before; a code's
// change is (2m + 1) / 2 steps for its size m; sizes 0 to 3 move one step
// down, 4 to 7 two, four, six and eight up.
constexpr int Steps4 = 56;

template <int Count, int Sizes>
constexpr std::array<StepEntry, Count * Sizes> makeTable(int first, int ratioNum, int ratioDen)
{
    std::array<StepEntry, Count * Sizes> table{};
    int step = first;
    for (int i = 0; i < Count; ++i) {
        for (int m = 0; m < Sizes; ++m) {
            int change = 0;
            int move = 0;
            if constexpr (Sizes == 2) {
                change = m == 0 ? (11 * step + 10) / 20 : (17 * step + 5) / 10;
                move = m == 0 ? -1 : 2;
            } else {
                change = ((2 * m + 1) * step + 1) / 2;
                constexpr int moves[8] = {-1, -1, -1, -1, 2, 4, 6, 8};
                move = moves[m];
            }
            const int next = std::clamp(i + move, 0, Count - 1);
            table[static_cast<std::size_t>(i * Sizes + m)] = {static_cast<std::uint16_t>(change),
                                                             static_cast<std::uint8_t>(next)};
        }
        step = (step * ratioNum + ratioDen / 2) / ratioDen;
    }
    return table;
}

constexpr auto Table2 = makeTable<Steps2, 2>(32, 6, 5);
constexpr auto Table4 = makeTable<Steps4, 8>(16, 11, 10);

std::int32_t wrap16(std::int32_t value)
{
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(value & 0xFFFF));
}

}  // namespace

std::span<const StepEntry> stepTable(int bits)
{
    if (bits == 2) {
        return Table2;
    }
    return Table4;
}

int sizesPerStep(int bits)
{
    return bits == 2 ? 2 : 8;
}

DecoderState decodeStep(const DecoderState& state, int bits, int code)
{
    const int sizes = sizesPerStep(bits);
    const int size = code & (sizes - 1);
    const bool negative = (code & sizes) != 0;
    const StepEntry entry = stepTable(bits)[static_cast<std::size_t>(state.step * sizes + size)];
    DecoderState next;
    next.change = wrap16(changeBeforeWrap(state.change, entry, negative));
    next.level = heldLevel(state.level, next.change);
    next.step = entry.next;
    return next;
}

int pulseCount(const SoundLevel& level, std::int32_t state)
{
    const int high = (state + 32768) >> 8;
    return level.minCount + (high * (level.maxCount - level.minCount) + 127) / 255;
}

std::optional<SoundLevel> levelOf(std::span<const std::uint8_t> header)
{
    if (header.size() < static_cast<std::size_t>(HeaderBytes) || header[3] != 0) {
        return std::nullopt;
    }
    for (const SoundLevel& level : Levels) {
        if (header[0] == level.ticks && header[1] == level.bits && header[2] == level.timer2Setting()) {
            return level;
        }
    }
    return std::nullopt;
}

long long samplesFor(const SoundLevel& level, long long inputSamples)
{
    return std::max(0LL, inputSamples) / level.ticks;
}

long long streamBytes(const SoundLevel& level, long long samples)
{
    return HeaderBytes + (samples * level.bits + 7) / 8;
}

double clockShare(const SoundLevel& level)
{
    const int decode = level.bits == 2 ? cost::Decode2 : cost::Decode4;
    return level.samplesPerSecond() * (cost::StartHandler + cost::EndHandler + decode) / PlayerClockHz;
}

std::optional<SoundLevel> bestLevelBesideVideo(long long roomBytes, long long inputSamples)
{
    std::optional<SoundLevel> best;
    for (const SoundLevel& level : Levels) {
        if (clockShare(level) <= cost::MostShare &&
            streamBytes(level, samplesFor(level, inputSamples)) <= roomBytes &&
            (!best || level.bytesPerSecond() > best->bytesPerSecond())) {
            best = level;
        }
    }
    return best;
}

std::optional<SoundLevel> bestLevel(long long roomBytes, long long inputSamples)
{
    std::optional<SoundLevel> best;
    for (const SoundLevel& level : Levels) {
        if (streamBytes(level, samplesFor(level, inputSamples)) <= roomBytes &&
            (!best || level.bytesPerSecond() > best->bytesPerSecond())) {
            best = level;
        }
    }
    return best;
}

}  // namespace zoetra::sound
