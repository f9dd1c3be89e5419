#pragma once

#include "codec/sound/SoundCost.h"
#include "shared/CalculatorModel.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace zoetra::sound {

// The sound stream: ADPCM codes of 2 or 4 bits a sample, which the player
// turns into pulses of both link lines, one a sample, started by a crystal
// timer and ended by a CPU timer (see docs/formats/sound.md).

// The crystal the timers divide, and the rate the encoder takes its samples
// at: every level's rate divides it.
inline constexpr int CrystalHz = 32768;
inline constexpr int InputRate = CrystalHz;

// The clock the player runs at: the fast speed of every model with crystal
// timers.
inline constexpr double PlayerClockHz = modelFacts(CalculatorModel::Ti84Plus).fastCpuHz;

// One way of coding the sound, each a rate and a code's size.
struct SoundLevel {
    int ticks = 0;         // crystal ticks a sample: timer 1's count at 32768 Hz
    int bits = 0;          // of a sample's code: 2 or 4
    int countTStates = 0;  // T-states a count of timer 2 takes: 4 or 8 (its divisor of the CPU clock)
    int minCount = 0;      // the counts of timer 2 a pulse may take
    int maxCount = 0;

    constexpr double samplesPerSecond() const { return static_cast<double>(CrystalHz) / ticks; }
    constexpr double bytesPerSecond() const { return samplesPerSecond() * bits / 8.0; }
    // Timer 2's frequency setting (port 34h): the CPU clock divided by 4 or 8.
    constexpr std::uint8_t timer2Setting() const { return countTStates == 4 ? 0x82 : 0x84; }
    // A sample's time at the player's clock.
    constexpr double periodTStates() const { return ticks * PlayerClockHz / CrystalHz; }

    friend constexpr bool operator==(const SoundLevel&, const SoundLevel&) = default;
};

namespace detail {
constexpr SoundLevel level(int ticks, int bits, int countTStates)
{
    SoundLevel l{ticks, bits, countTStates, 0, 0};
    // A pulse ends after the handler that started it has returned, and its
    // own handler returns in time for the next sample.
    l.minCount = (cost::StartHandler - cost::StartCount + countTStates - 1) / countTStates;
    const int room = static_cast<int>(l.periodTStates()) - cost::EndMargin - cost::EndHandler - cost::StartCount;
    l.maxCount = room / countTStates < 255 ? room / countTStates : 255;
    return l;
}
}  // namespace detail

// From the fewest bytes a second to the most.
inline constexpr std::array<SoundLevel, 8> Levels{{
    detail::level(8, 2, 8),  // 4096 Hz, 1,024 bytes a second
    detail::level(7, 2, 8),  // 4681 Hz, 1,170
    detail::level(6, 2, 8),  // 5461 Hz, 1,365
    detail::level(5, 2, 8),  // 6554 Hz, 1,638
    detail::level(4, 2, 4),  // 8192 Hz, 2,048
    detail::level(3, 2, 4),  // 10923 Hz, 2,731
    detail::level(4, 4, 4),  // 8192 Hz, 4,096
    detail::level(3, 4, 4),  // 10923 Hz, 5,461
}};

// The stream's header: timer 1's count, the code's bits, timer 2's
// setting, 0, then the number of samples (four bytes, low byte first);
// the codes follow, the first in the high bits of a byte.
inline constexpr int HeaderBytes = 8;

// The level a header names; nothing when it names none.
std::optional<SoundLevel> levelOf(std::span<const std::uint8_t> header);

// Bytes of a stream of `samples` samples.
long long streamBytes(const SoundLevel& level, long long samples);
// The samples a sound of `inputSamples` at InputRate comes to.
long long samplesFor(const SoundLevel& level, long long inputSamples);

// The level with the most bytes a second whose stream of a sound
// `inputSamples` long (at InputRate) takes at most `roomBytes`; nothing
// when not even the lowest fits.
std::optional<SoundLevel> bestLevel(long long roomBytes, long long inputSamples);

// The share of the player's clock the level's sound takes: both handlers
// and the decoding, each sample.
double clockShare(const SoundLevel& level);
// The same as bestLevel among the levels that leave a video its time
// beside them (clockShare at most cost::MostShare).
std::optional<SoundLevel> bestLevelBesideVideo(long long roomBytes, long long inputSamples);

// The decoder's state: the level S (a signed 16-bit number; the pulse's
// count is looked up from its high byte), the last change D (16 bits, which
// wrap) and the step's index.
struct DecoderState {
    std::int32_t level = 0;
    std::int32_t change = 0;
    int step = 0;
};

// The tables of changes: for each step and each size of a code (the code
// without its sign, its top bit), the change and the next step.
struct StepEntry {
    std::uint16_t change;
    std::uint8_t next;
};
std::span<const StepEntry> stepTable(int bits);
int sizesPerStep(int bits);  // 2 or 8: the entries of a step

// D - D/4 (an arithmetic shift) plus a code's change, before it wraps in 16
// bits; and S + D held within 16 bits.
constexpr std::int32_t changeBeforeWrap(std::int32_t change, const StepEntry& entry, bool negative)
{
    return change - (change >> 2) + (negative ? -static_cast<std::int32_t>(entry.change) : entry.change);
}
constexpr std::int32_t heldLevel(std::int32_t level, std::int32_t change)
{
    return std::clamp(level + change, -32768, 32767);
}

// One sample's code applied the way the player applies it: D becomes
// D - D/4 (an arithmetic shift) plus the code's change, wrapping in 16 bits;
// S becomes S + D, held within 16 bits; the step moves as the code's size
// says.
DecoderState decodeStep(const DecoderState& state, int bits, int code);

// The count of timer 2 for a level S: its high byte looked up in the
// level's table of 256 counts, from minCount to maxCount.
int pulseCount(const SoundLevel& level, std::int32_t state);

}  // namespace zoetra::sound
