#pragma once

#include "codec/sound/SoundFormat.h"
#include "shared/LineEdges.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zoetra::sound {

// What a sound stream plays: each sample's pulse and every write of the
// link port's lines, at the T-state the player makes it.
struct DecodedSound {
    SoundLevel level;
    std::vector<std::uint8_t> counts;  // each sample's pulse, in counts of timer 2
    // Times (`clock`: T-states) from the moment timer 1 starts counting (the end of the OUT that
    // writes its counter), each interrupt accepted at the first T-state of
    // its timer's expiry or after it: sample k starts at expiry k + 1 of
    // timer 1. The player's writes lie later by its interrupts' latency.
    std::vector<LineEdge> edges;
    // T-states the handler takes, all samples together: what the sound
    // takes from the video's time.
    long long handlerTStates = 0;
    double clockHz = PlayerClockHz;
};

// Reads the stream as the player does, at `clockHz` (the T-states of a
// crystal tick follow from it). Fails, with a reason in `error`, on a
// stream the player could not play: a header of no level, or a length
// other than its samples'.
std::optional<DecodedSound> decodeSound(std::span<const std::uint8_t> stream, std::string* error,
                                        double clockHz = PlayerClockHz);

// The T-state at which timer 1 expires for the k-th time (k from 1) and its
// interrupt is taken, at `clockHz`.
std::int64_t expiryTState(const SoundLevel& level, long long k, double clockHz);

}  // namespace zoetra::sound
