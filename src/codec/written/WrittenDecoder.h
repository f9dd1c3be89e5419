#pragma once

#include "codec/Codec.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace zoetra::written {

// The reference decoder: the screens a written stream shows and the
// player's T-states for each. Fails on a stream that ends early or whose
// record lies outside the screen.
std::optional<DecodedVideo> decodeWrittenVideo(std::span<const std::uint8_t> stream, std::string* error = nullptr);

}  // namespace zoetra::written
