#pragma once

#include "shared/LineEdges.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace zoetra::media {

// The rate a sound played by the link port's lines is rendered at to be
// measured.
inline constexpr int MeasureRenderRate = 64000;

// The lines' changes (at `clockHz`, from clock 0) as the measure takes them:
// rendered by LineSound at MeasureRenderRate, both lines pulled low the
// signal's top (LineSound hears a held line pull the earphone down).
std::vector<float> measuredLines(std::span<const LineEdge> edges, std::uint64_t clockHz, std::size_t samples);

// How close a sound played comes to its source, measured the one way the
// sound's benchmark and tests measure it: both resampled to 8 kHz and
// band-passed to 100..3,000 Hz (a fourth-order Butterworth high-pass and
// low-pass, run forwards and backwards), the output aligned to the source by
// cross-correlation (to 1/64,000 s) and scaled by least squares; then the
// signal-to-noise ratio of each 256-sample segment whose source is not
// silent (not 40 dB below the sound's mean power), held within -10..35 dB,
// averaged.
struct SoundQuality {
    double segmentalSnr = 0.0;  // dB; 0 when no segment counts
    int segments = 0;           // the segments counted
    int silentSegments = 0;
    double snr = 0.0;           // dB, the whole band at once
    double delaySeconds = 0.0;  // of the output behind the source
};

// `output` is at MeasureRenderRate, `source` at `sourceRate`; the output is
// looked for up to a second either way of the source.
SoundQuality measureSound(std::span<const float> source, int sourceRate, std::span<const float> output);

}  // namespace zoetra::media
