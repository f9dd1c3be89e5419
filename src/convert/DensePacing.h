#pragma once

#include "shared/VideoTarget.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zoetra::dense {

// One stretch of the decoder's work: part of one frame within one piece
// (the work between two timer ticks). A piece may finish a frame and go on
// with the next; a pause decision of 1 starts a new piece.
struct Work {
    int frame = 0;           // the frame the work belongs to
    int tStates = 0;
    bool startsPiece = false;  // after a pause: waits for a tick first
};

// The player's clock for one target: the CPU's speed, the OS timer, the
// frame rate, and what the player can do in one tick.
struct DenseTiming {
    double cpuHz = modelFacts(CalculatorModel::Ti83Plus).slowCpuHz;
    double timerHz = modelFacts(CalculatorModel::Ti83Plus).timerHz;
    double framesPerSecond = WrittenFramesPerSecond;

    // What the OS's interrupt handler takes of each tick, and the margin
    // kept free on top of it (a fraction of the tick).
    int interruptTStates = static_cast<int>(OsInterruptTStates);
    double margin = 0.10;
    // Showing a frame: the player's own copy of the ring's head to the LCD
    // (8.6 ms, bound by the LCD's pace, not the CPU's).
    double lcdCopySeconds = static_cast<double>(OsScreenCopyTStates) / modelFacts(CalculatorModel::Ti83Plus).slowCpuHz;

    int tickTStates() const;
    // The most one piece may take, a page crossing and the pause included.
    int pieceBudget() const;
    int displayTStates() const;
    // Timer ticks a frame is shown for, as a fraction: the player shows
    // frame n at the first tick at or after n * this.
    double ticksPerFrame() const { return timerHz / framesPerSecond; }
    // Ticks a decoding piece can use per frame, on average.
    double decodeTicksPerFrame() const;
};

// The TI-83 Plus at 6 MHz and 14.75 frames a second; the 15 MHz models at 29.5.
DenseTiming slowTiming();
DenseTiming fastTiming();

// Frames of the ring the player decodes into: what it shows comes from the
// ring, the frame being decoded and the one before it take a slot each.
inline constexpr int DefaultRingFrames = 4;

// What a run of the player's schedule shows.
struct PacingReport {
    bool keepsUp = true;
    int lateFrame = -1;          // the first frame not ready at its tick
    int startTicks = 0;          // ticks of decoding before the first frame is shown
    // The tightest moment: the fewest frames ready ahead of the one shown,
    // and the frame shown then.
    int fewestAhead = 0;
    int fewestAheadAt = 0;
    // The least time between a frame's decoding ending and its tick.
    int fewestSpareTicks = 1 << 30;
    int fewestSpareAt = 0;
    std::string describe() const;
};

// Plays the schedule: the player first fills the ring (or decodes the whole
// video, if shorter), then shows a frame at its tick, and in every other tick
// runs one piece of decoding, or the rest of one. A display takes the ticks
// its copy spans. A frame the ring has no room for waits at its start for
// the next tick after a frame is shown.
PacingReport simulatePacing(const std::vector<Work>& work, int frames, const DenseTiming& timing,
                            int ringFrames = DefaultRingFrames);

}  // namespace zoetra::dense
