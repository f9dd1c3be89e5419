#pragma once

#include "codec/sound/SoundFormat.h"

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace zoetra::sound {

// How hard the encoder searches: the code sequences it keeps open at each
// sample (more is slower and a little better); 0 takes the level's own.
struct EncoderOptions {
    int paths = 0;
};

// Encodes a sound (mono, InputRate samples a second, -1..1) at `level`:
// the codes whose pulses, as the player makes them, come closest to the
// sound in the band heard (a search over the code sequences, as the decoder
// will follow them). `progress` is told the share done now and then; when
// it returns false the encoding stops and nothing is returned.
std::vector<std::uint8_t> encodeSound(std::span<const float> samples, const SoundLevel& level,
                                      const std::function<bool(double)>& progress = {},
                                      const EncoderOptions& options = {});

// The sound as the encoder aims at it, at the level's rate: low-passed
// below half the rate and taken every `ticks` samples, without its DC.
std::vector<float> soundAtLevelRate(std::span<const float> samples, const SoundLevel& level);

}  // namespace zoetra::sound
