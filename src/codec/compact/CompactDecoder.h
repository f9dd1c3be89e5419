#pragma once

#include "codec/Codec.h"
#include "codec/compact/CompactFormat.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zoetra::compact {

using zoetra::DecodedVideo;

// The reference decoder: reads the stream as the player does, step by step,
// and counts the T-states of the player's code on the way. Fails, with a
// reason in `error`, on a stream the player could not play the same way: one
// that ends early, moves the cursor past the screen, copies from outside it,
// or has the key frame depend on what was on the screen before.
std::optional<DecodedVideo> decodeCompactVideo(std::span<const std::uint8_t> stream, std::string* error = nullptr);

// A frame coded on its own (CompactEncoder::codeAlone), applied to `screen`.
// Returns its T-states as the decoder's code takes them (its call
// included), with `pauseTStates` for each pause; nullopt (and `screen` as it
// was) when the bytes are not exactly one such frame.
std::optional<int> decodeAloneFrame(std::span<const std::uint8_t> bytes, Screen& screen, int pauseTStates,
                                    std::string* error = nullptr);

}  // namespace zoetra::compact
