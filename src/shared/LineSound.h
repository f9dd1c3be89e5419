#pragma once

#include "shared/LineEdges.h"

#include <cstdint>
#include <cstddef>
#include <deque>
#include <span>
#include <utility>
#include <vector>

namespace zoetra {

// The link port's two lines heard as earphones in its socket would give
// them: both lines together as one mono signal (each line held low moves it
// by half the swing), made band-limited and resampled to `sampleRate`.
//
// Each change of the lines is a step at its exact time. The step is added
// to the samples around it as a band-limited step (the running integral of
// a Blackman-windowed sinc cut off below half the sample rate, HalfWidth
// samples either side, read from a table at 512 phases a sample and
// interpolated), so an edge between two samples moves both by what a
// filtered step would, and a PWM carrier above the cut-off leaves only its
// average. A 5 Hz high-pass then takes away the DC, as a speaker does: lines
// left low fall silent instead of offsetting the rest. Samples lie in
// -1..1; a step from both lines released to both held low peaks at 0.9.
//
// Changes are given in time order, in steps of `clockHz` from the clock of
// sample 0 (`start`); samples are handed out as soon as no later change can
// alter them, so a playback can play them while the program runs.
class LineSound {
public:
    static constexpr int HalfWidth = 16;  // samples either side of a step

    LineSound(std::uint64_t clockHz, int sampleRate, std::uint64_t start = 0, std::uint8_t heldAtStart = 0);

    // The lines change at `edge.clock` (not before the last change).
    void add(LineEdge edge);
    // Appends the samples up to `clock` that no change after `clock` can
    // alter (those more than HalfWidth samples before it).
    void renderUntil(std::uint64_t clock, std::vector<float>& out);
    // Appends every sample up to `clock`: no change comes after it.
    void finish(std::uint64_t clock, std::vector<float>& out);

    int sampleRate() const { return rate_; }
    // Samples handed out so far.
    std::uint64_t rendered() const { return next_; }

private:
    // Sample position of `clock`: whole samples and the fraction.
    std::pair<std::int64_t, double> position(std::uint64_t clock) const;
    void produce(std::int64_t upTo, std::vector<float>& out);

    std::uint64_t clockHz_;
    int rate_;
    std::uint64_t start_;
    double level_ = 0;    // the lines' level after the last change
    double settled_ = 0;  // the level of every step whose filter has passed
    std::deque<std::pair<std::int64_t, double>> settling_;  // (sample it has passed by, step)
    std::deque<double> around_;  // the steps' filtered parts, from sample next_ on
    std::int64_t next_ = 0;      // the next sample to hand out
    double highPass_;
    double lastIn_ = 0;
    double lastOut_ = 0;
};

// The sound of the changes from `from` to `to` (clocks of `clockHz`), at
// `sampleRate`; the lines held before `from` count as its start.
std::vector<float> renderLineSound(const LineEdges& edges, std::uint64_t from, std::uint64_t to, std::uint64_t clockHz,
                                   int sampleRate);

// The first `samples` samples of the sound of `edges` (in time order, the
// lines released before the first), sample 0 at clock 0.
std::vector<float> renderLineSound(std::span<const LineEdge> edges, std::uint64_t clockHz, int sampleRate,
                                   std::size_t samples);

}  // namespace zoetra
