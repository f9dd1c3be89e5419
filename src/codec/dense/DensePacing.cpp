#include "codec/dense/DensePacing.h"

#include "shared/ArchiveLayout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

namespace zoetra::dense {

double DenseTiming::decodeTStatesPerFrame() const
{
    return (frameTStates() - ticksPerFrame() * (interruptTStates + tickTStates)) * (1.0 - margin);
}

DenseTiming timingFor(const VideoTarget& target)
{
    const ModelFacts& facts = target.facts();
    // The player runs a model that has 15 MHz at 15 MHz; the OS's screen
    // copy keeps the LCD's pace, whatever the clock.
    DenseTiming timing;
    timing.cpuHz = facts.fastCpuHz > 0 ? facts.fastCpuHz : facts.slowCpuHz;
    timing.timerHz = facts.timerHz;
    timing.framesPerSecond = target.framesPerSecond;
    return target.storage == Storage::Archive ? archiveTiming(timing) : timing;
}

DenseTiming archiveTiming(DenseTiming timing)
{
    timing.stretchTStates = ArchiveStretchTStates;
    timing.pageEndTStates = StretchEndTStates;
    timing.appVarStreamBytes = archive::StreamBytesPerAppVar;
    return timing;
}

int DenseTiming::stretchFor(std::int64_t firstByte, std::int64_t endByte) const
{
    if (appVarStreamBytes <= 0) {
        return stretchTStates;
    }
    // The first AppVar's end at or after the first byte the player may read
    // for the frame, against the last.
    const std::int64_t from = std::max<std::int64_t>(0, firstByte - StreamSlackBytes);
    const std::int64_t nextEnd =
        std::max(appVarStreamBytes, (from + appVarStreamBytes - 1) / appVarStreamBytes * appVarStreamBytes);
    return nextEnd <= endByte + StreamSlackBytes ? stretchTStates : pageEndTStates;
}

int ringBytesFor(const VideoTarget& target)
{
    return target.storage == Storage::Archive ? ArchiveRingBytes : RingBytes;
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
    std::string described = text;
    if (roundLateFrames > 0) {
        std::snprintf(text, sizeof text, "; looping, %d frames of its second and third rounds late, the first frame %d%s",
                      roundLateFrames, roundFirstLate, roundsEndLate ? ", the last as well" : "");
        described += text;
    }
    return described;
}

Schedule::Schedule(const DenseTiming& timing, int ringBytes)
    : timing_(timing), ringBytes_(ringBytes), perFrame_(timing.decodeTStatesPerFrame())
{
}

// The player's test for room (DecodeDense.z80, RingRoom): `read` where the
// oldest record not shown starts, `write` where the next goes, `ready` the
// frames not shown, `largest` the room asked.
bool Schedule::room(int read, int write, int ready, int largest, int& recordAt) const
{
    const int end = ringBytes_ - 1;  // its last byte kept for a mark
    if (write < read) {
        recordAt = write;
        return read - write >= largest + 1;
    }
    if (write == read && ready == 0) {
        recordAt = 0;  // empty: from the ring's start again
        return true;
    }
    if (end - largest >= write) {
        recordAt = write;
        return true;
    }
    // On at the start, past the reader: a coded frame's rows of blocks go
    // there when they come too close to the end (addBlocks), or all of it
    // goes there where the end has no room for a video's end mark and a mark
    // after it.
    recordAt = write < ringBytes_ - 1 ? write : 0;
    return read > largest;  // as when the reader is ahead: asked again, the answer stays
}

// Found once for each frame: the encoder asks for every way it tries.
Schedule::Start Schedule::start(bool waits) const
{
    if (!codedStart_) {
        // The frames shown by the end of the frame before: the next frame
        // ends later.
        const double after = frames_.empty() ? 0.0 : frames_.back().done;
        shownBefore_ = shownBy(after, shownBefore_);
        codedStart_ = startWith(LargestCodedRecord, after, shownBefore_);
    }
    if (!waits || !codedStart_->room) {
        return *codedStart_;
    }
    if (!waitedStart_) {
        waitedStart_ = startWith(LargestRecord, codedStart_->at, shownBefore_);
    }
    return *waitedStart_;
}

// The frames shown by `at`, counted on from `shown` (frames are shown in
// order).
std::size_t Schedule::shownBy(double at, std::size_t shown) const
{
    while (shown < frames_.size() && frames_[shown].shown <= at) {
        ++shown;
    }
    return shown;
}

// `shown`: the frames shown by `after`, or fewer.
Schedule::Start Schedule::startWith(int largest, double after, std::size_t shown) const
{
    const int decoded = static_cast<int>(frames_.size());
    const int write = frames_.empty() ? 0 : frames_.back().recordEnd;
    // The reader's place at `at` (each frame begins later than the one
    // before).
    int recordAt = 0;
    const auto roomAt = [&](double at) {
        shown = shownBy(at, shown);
        const int read = shown == 0 ? 0 : frames_[shown - 1].recordEnd;
        return room(read, write, decoded - static_cast<int>(shown), largest, recordAt);
    };
    if (roomAt(after)) {
        return {true, after, recordAt};
    }
    for (std::size_t next = shown; next < frames_.size(); ++next) {
        const double at = frames_[next].shown;
        if (roomAt(at)) {
            return {true, at, recordAt};
        }
    }
    return {false, after, 0};
}

double Schedule::slack(int tStates, bool waits, std::optional<int> stretch) const
{
    if (frames_.empty()) {
        // The first frame, shown once it is decoded: on time whatever it
        // takes, the sooner the better.
        return FirstFrameSlack - (tStates + stretch.value_or(timing_.stretchTStates));
    }
    const Start s = start(waits);
    return nextDue_ - (s.at + tStates + stretch.value_or(timing_.stretchTStates));
}

std::vector<int> blockRecordBytes(const Screen& before, const Screen& now)
{
    std::vector<int> bytes;
    for (int block = 0; block < BlockCount; ++block) {
        if (!blockDiffers(before, now, block)) {
            bytes.push_back(0);
            continue;
        }
        const int kept = recordRowsKept(now, block);  // none: a block of one row
        bytes.push_back(kept == 0 ? OneRowRecordBytes : MaskedRecordBytes + kept);
    }
    return bytes;
}

int recordsBytes(const std::vector<int>& blockBytes)
{
    return std::accumulate(blockBytes.begin(), blockBytes.end(), 0) + 1;
}

bool largeRecords(const std::vector<int>& blockBytes)
{
    return recordsBytes(blockBytes) + 1 > LargestCodedRecord;  // and a mark after them
}

int DenseTiming::showTStates(const std::vector<int>& blockBytes) const
{
    int t = ShowStartTStates;
    for (const int bytes : blockBytes) {
        t += bytes > 0 ? recordShowTStates(bytes) : 0;
    }
    return t;
}

int DenseTiming::wholeShowTStates(const std::vector<int>& blockBytes) const
{
    int t = ShowStartTStates + BlockCount * (blockShowTStates(lcdWait()) + WholeBlockTStates);
    for (const int bytes : blockBytes) {
        if (bytes == OneRowRecordBytes) {
            t += OneRowWholeTStates;
        } else if (bytes >= MaskedRecordBytes) {
            t += (bytes - MaskedRecordBytes) * MaskRowKeptShowTStates;
        }
    }
    return t;
}

void Schedule::addBlocks(int tStates, const std::vector<int>& blockBytes, std::optional<int> stretch)
{
    addRecords(tStates, &blockBytes, stretch.value_or(timing_.stretchTStates));
}

void Schedule::addWhole(int tStates, std::optional<int> stretch)
{
    addRecords(tStates, nullptr, stretch.value_or(timing_.stretchTStates));
}

PacingReport Schedule::laterRounds(const std::vector<FrameWork>& frames, int restartTStates, int rounds) const
{
    Schedule replay = *this;
    replay.report_ = {};
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t f = 0; f < frames.size(); ++f) {
            const FrameWork& work = frames[f];
            replay.addRecords(work.tStates + (f == 0 ? restartTStates : 0),
                              work.blockBytes.empty() ? nullptr : &work.blockBytes, work.stretch, f == 0);
        }
    }
    PacingReport report = report_;
    report.roundLateFrames = replay.report_.lateFrames;
    report.roundFirstLate = replay.report_.firstLate < 0 ? -1 : replay.report_.firstLate - static_cast<int>(frames_.size());
    report.roundsEndLate = replay.report_.lastLate;
    return report;
}

// `blockBytes`: a coded frame's records, block by block; none for a raw or
// compact frame, whose record is the whole screen. `roundStart`: a looping
// video's first frame again, after the video's end mark, shown whole.
void Schedule::addRecords(int tStates, const std::vector<int>* blockBytes, int stretch, bool roundStart)
{
    const bool whole = blockBytes == nullptr;
    // Where the frame's records end: a raw or compact frame's in one piece,
    // a coded frame's row of blocks by row of blocks, each going on at the
    // ring's start when it would begin too close to its end.
    // A raw or compact frame, and a large one, wait for the largest
    // record's room.
    const Start s = start(whole || largeRecords(*blockBytes));
    int at = s.recordAt + (roundStart ? 1 : 0);
    if (whole) {
        at = (at > ringBytes_ - LargestRecord ? 0 : at) + FlatRecordBytes;
    } else {
        for (std::size_t block = 0; block < blockBytes->size(); ++block) {
            if (block % BlockColumns == 0 && at >= ringBytes_ - RowWrapBytes) {
                at = 0;
            }
            at += (*blockBytes)[block];
        }
    }
    const int recordEnd = at + 1;
    const int changedBlocks = whole ? BlockCount
                                    : static_cast<int>(blockBytes->size()) -
            static_cast<int>(std::count(blockBytes->begin(), blockBytes->end(), 0));
    const int frame = static_cast<int>(frames_.size());
    Frame f{s.at + tStates + stretch, 0.0, recordEnd, changedBlocks};
    if (frames_.empty()) {
        // The first frame is shown at the next tick, where the pace starts,
        // on the screen cleared: the next frame is due a frame's ticks after
        // it, less its show and the fraction of a tick the ticks frames are
        // shown at leave out.
        f.shown = f.done;
        nextDue_ = f.done + perFrame_ - (whole ? timing_.screenShowTStates() : timing_.showTStates(*blockBytes)) -
            perFrame_ / timing_.ticksPerFrame();
        report_.prefilled = 1;
    } else {
        const double due = nextDue_;
        f.shown = std::max(due, f.done);
        nextDue_ = due + perFrame_ -
            (whole          ? timing_.screenShowTStates()
                 : roundStart ? timing_.wholeShowTStates(*blockBytes)
                              : timing_.showTStates(*blockBytes));
        const double ahead = (due - f.done) / perFrame_;
        report_.lastLate = f.done > due;
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
    codedStart_.reset();
    waitedStart_.reset();
}

}  // namespace zoetra::dense
