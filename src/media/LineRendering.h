#pragma once

#include "shared/LinePort.h"

#include <cstddef>
#include <span>
#include <vector>

namespace zoetra::media {

// The link port's lines heard as sound: their level (lineLevel: both lines
// pulled low = 1) as a band-limited signal sampled at `rate`. Each write is
// a step placed at its exact T-state (at `clockHz`), smoothed by a
// Blackman-windowed sinc 2 ms long cutting off 2 kHz below half the rate,
// so that the pulses' fast edges do not fold back into what is heard.
// Sample i is the level at i / rate seconds after T-state 0; the lines are
// released before the first write. Writes must come in order.
std::vector<float> renderLines(std::span<const LineEdge> edges, double clockHz, int rate, std::size_t samples);

}  // namespace zoetra::media
