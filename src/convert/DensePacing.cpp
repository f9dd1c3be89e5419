#include "convert/DensePacing.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace zoetra::dense {

double DenseTiming::decodeTStatesPerFrame() const
{
    const double ticks = timerHz / framesPerSecond;
    return (frameTStates() - screenCopyTStates - ticks * interruptTStates) * (1.0 - margin);
}

DenseTiming timingFor(const VideoTarget& target)
{
    const ModelFacts& facts = target.facts();
    // The player runs a model that has 15 MHz at 15 MHz; the screen copy
    // keeps the LCD's pace, whatever the clock.
    DenseTiming timing;
    timing.cpuHz = facts.fastCpuHz > 0 ? facts.fastCpuHz : facts.slowCpuHz;
    timing.timerHz = facts.timerHz;
    timing.framesPerSecond = target.framesPerSecond;
    timing.screenCopyTStates = static_cast<int>(OsScreenCopyTStates * timing.cpuHz / facts.slowCpuHz);
    return timing;
}

DenseTiming slowTiming()
{
    return DenseTiming{};
}

DenseTiming fastTiming()
{
    VideoTarget target;
    target.model = CalculatorModel::Ti84Plus;
    target.framesPerSecond = 29.5;
    return timingFor(target);
}

std::string PacingReport::describe() const
{
    char text[200];
    if (!keepsUp) {
        std::snprintf(text, sizeof text, "%d frames late, the first frame %d", lateFrames, firstLate);
    } else {
        std::snprintf(text, sizeof text, "no frame late; tightest: frame %d ready %.2f frames' time before its tick",
                      leastAheadAt, leastAhead);
    }
    return std::string(text) + ", " + std::to_string(prefilled) + " frames decoded before the first is shown";
}

Schedule::Schedule(const DenseTiming& timing, int ringBytes)
    : timing_(timing), ringBytes_(ringBytes), perFrame_(timing.decodeTStatesPerFrame())
{
}

// The earliest the next frame's decoding can begin: after the frame before,
// and once enough of the oldest records have been shown to leave room.
double Schedule::start(int frame) const
{
    double at = frames_.empty() ? 0.0 : frames_.back().done;
    int held = 0;
    int oldest = frame;
    while (oldest > 0 && held + frames_[static_cast<std::size_t>(oldest - 1)].record + 2 * LargestRecord <= ringBytes_) {
        --oldest;
        held += frames_[static_cast<std::size_t>(oldest)].record;
    }
    if (oldest > 0) {
        at = std::max(at, frames_[static_cast<std::size_t>(oldest - 1)].shown);
    }
    return at;
}

void Schedule::startClock()
{
    clock_ = true;
    clockStart_ = frames_.empty() ? 0.0 : frames_.back().done;
    report_.prefilled = static_cast<int>(frames_.size());
    double due = clockStart_;
    for (Frame& f : frames_) {
        due_.push_back(due);
        f.shown = due;
        due += perFrame_ - applyTStates((f.record - 1) / 9);
    }
    applied_ = due;
}

double Schedule::slack(int tStates) const
{
    const int frame = static_cast<int>(frames_.size());
    if (!clock_) {
        if (held_ + 2 * LargestRecord <= ringBytes_) {
            return 1e18;  // still filling the ring
        }
        // The clock would start now: this frame is due after all of those.
        Schedule started = *this;
        started.startClock();
        return started.slack(tStates);
    }
    return applied_ - (start(frame) + tStates);
}

void Schedule::add(int tStates, int changedBlocks)
{
    if (!clock_ && held_ + 2 * LargestRecord > ringBytes_) {
        startClock();
    }
    const int frame = static_cast<int>(frames_.size());
    Frame f{0.0, 0.0, recordBytes(changedBlocks)};
    f.done = start(frame) + tStates;
    if (clock_) {
        const double due = applied_;
        due_.push_back(due);
        f.shown = std::max(due, f.done);
        applied_ = due + perFrame_ - applyTStates(changedBlocks);
        const double ahead = (due - f.done) / perFrame_;
        if (f.done > due) {
            report_.keepsUp = false;
            ++report_.lateFrames;
            if (report_.firstLate < 0) {
                report_.firstLate = frame;
            }
        } else if (ahead < report_.leastAhead) {
            report_.leastAhead = ahead;
            report_.leastAheadAt = frame;
        }
    }
    frames_.push_back(f);
    held_ += f.record;
    if (!clock_) {
        report_.prefilled = static_cast<int>(frames_.size());
    }
}

}  // namespace zoetra::dense
