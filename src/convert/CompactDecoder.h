#pragma once

#include "convert/CompactFormat.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zoetra::compact {

// What a compact stream shows, frame by frame, and what it costs the player.
struct DecodedVideo {
    std::vector<Screen> frames;     // key frame first
    std::vector<int> tStates;       // the decoder's T-states for each frame
    std::vector<int> segments;      // segments of each frame
    std::vector<int> longestSegment;  // T-states of each frame's longest segment
    std::size_t length = 0;         // stream bytes up to the video end
};

// The reference decoder: reads the stream as the player does, step by step,
// and counts the T-states of the player's code on the way. Fails, with a
// reason in `error`, on a stream the player could not play the same way: one
// that ends early, moves the cursor past the screen, copies from outside it,
// or has the key frame depend on what was on the screen before.
std::optional<DecodedVideo> decodeCompactVideo(std::span<const std::uint8_t> stream, std::string* error = nullptr);

}  // namespace zoetra::compact
