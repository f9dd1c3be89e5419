#include "convert/DensePacing.h"

#include "convert/DenseFormat.h"

#include <algorithm>
#include <cmath>

namespace zoetra::dense {

int DenseTiming::tickTStates() const
{
    return static_cast<int>(cpuHz / timerHz);
}

int DenseTiming::pieceBudget() const
{
    return static_cast<int>(std::floor((tickTStates() - interruptTStates) * (1.0 - margin)));
}

int DenseTiming::displayTStates() const
{
    return 300 + static_cast<int>(std::ceil(lcdCopySeconds * cpuHz));
}

namespace {

// Ticks a display takes from decoding: the piece after it runs in the tick
// after these, and must still end before the tick after that one.
int displayTicks(const DenseTiming& timing)
{
    const int tick = timing.tickTStates();
    int ticks = 1;
    while (timing.displayTStates() + (ticks + 1) * timing.interruptTStates + timing.pieceBudget()
           > (ticks + 1) * tick) {
        ++ticks;
    }
    return ticks;
}

}  // namespace

double DenseTiming::decodeTicksPerFrame() const
{
    return ticksPerFrame() - displayTicks(*this);
}

DenseTiming slowTiming()
{
    return DenseTiming{};
}

DenseTiming fastTiming()
{
    DenseTiming timing;
    timing.cpuHz = modelFacts(CalculatorModel::Ti84Plus).fastCpuHz;
    timing.timerHz = modelFacts(CalculatorModel::Ti84Plus).timerHz;
    timing.framesPerSecond = 29.5;
    return timing;
}

std::string PacingReport::describe() const
{
    if (!keepsUp) {
        return "frame " + std::to_string(lateFrame) + " is late";
    }
    return "keeps up; tightest: frame " + std::to_string(fewestSpareAt) + " ready "
        + std::to_string(fewestSpareTicks) + " ticks before its tick; fewest frames ready ahead "
        + std::to_string(fewestAhead) + " (showing frame " + std::to_string(fewestAheadAt) + "); "
        + std::to_string(startTicks) + " ticks to start";
}

PacingReport simulatePacing(const std::vector<Work>& work, int frames, const DenseTiming& timing, int ringFrames)
{
    PacingReport report;
    report.fewestAhead = ringFrames;
    if (frames <= 0) {
        return report;
    }
    std::vector<std::size_t> lastItem(static_cast<std::size_t>(frames), 0);
    for (std::size_t i = 0; i < work.size(); ++i) {
        if (work[i].frame < frames) {
            lastItem[static_cast<std::size_t>(work[i].frame)] = i;
        }
    }
    std::size_t next = 0;  // the next work item
    int decoded = 0;       // frames decoded completely
    int shown = 0;
    int tick = 0;
    std::vector<int> doneTick(static_cast<std::size_t>(frames), 0);
    // Whether the decoder may start (or go on with) frame f.
    auto hasRoom = [&](int f) {
        const int notShown = f - shown;
        const int used = notShown + 1 + (f > 0 && f - 1 < shown ? 1 : 0);
        return used <= ringFrames;
    };
    // One tick of decoding: one piece, or what is left of one.
    auto decodeTick = [&] {
        bool ran = false;
        while (next < work.size() && work[next].frame < frames) {
            const Work& item = work[next];
            if (ran && item.startsPiece) {
                break;
            }
            if (!hasRoom(item.frame)) {
                break;
            }
            ran = true;
            if (next == lastItem[static_cast<std::size_t>(item.frame)]) {
                decoded = item.frame + 1;
                doneTick[static_cast<std::size_t>(item.frame)] = tick;
            }
            ++next;
        }
    };

    const int budget = timing.pieceBudget();
    tick = (cost::StreamStart + budget - 1) / budget;
    while (decoded < frames && hasRoom(decoded)) {
        decodeTick();
        ++tick;
    }
    report.startTicks = tick;
    const int start = tick;
    const int showTicks = displayTicks(timing);
    int busyUntil = tick;
    while (shown < frames) {
        const int due = start + static_cast<int>(std::ceil(shown * timing.ticksPerFrame() - 1e-9));
        if (tick >= due && tick >= busyUntil) {
            if (decoded <= shown) {
                report.keepsUp = false;
                report.lateFrame = shown;
                return report;
            }
            report.fewestSpareTicks = std::min(report.fewestSpareTicks, due - doneTick[static_cast<std::size_t>(shown)]);
            if (report.fewestSpareTicks == due - doneTick[static_cast<std::size_t>(shown)]) {
                report.fewestSpareAt = shown;
            }
            ++shown;
            const int ahead = decoded - shown;
            if (ahead < report.fewestAhead && shown < frames) {
                report.fewestAhead = ahead;
                report.fewestAheadAt = shown - 1;
            }
            busyUntil = tick + showTicks;
        } else if (tick >= busyUntil) {
            decodeTick();
        }
        ++tick;
    }
    return report;
}

}  // namespace zoetra::dense
