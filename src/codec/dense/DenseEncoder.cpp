#include "codec/dense/DenseEncoder.h"

#include "codec/compact/CompactCost.h"
#include "codec/compact/CompactDecoder.h"
#include "codec/dense/DenseBlocks.h"

#include <algorithm>
#include <array>
#include <cassert>

namespace zoetra::dense {

namespace {
// What a T-state is worth in bits while the player is close to running dry,
// and how close that is (see addFrame).
constexpr double TimeBits = 0.002;
// Frames' time ahead counted as close, for each byte of the ring: 24 with
// the archive player's ring, 9.6 with the 4 KB of a video in RAM (records
// with a mask take about two thirds of the bytes of eight rows, so the
// ring holds half as many frames again).
constexpr double AheadFramesPerRingByte = 24.0 / 10'240;
// The rounds of a looping video played on after the first, to find the
// late frames they would have.
constexpr int LaterRounds = 2;
// A frame that takes more bits than this (its time counted) in its best
// way is also tried compact; lighter ones rarely gain by it, and the
// compact parse is slow beside the others.
constexpr double CompactTrialBits = 1'500;
}  // namespace

DenseEncoder::DenseEncoder(std::optional<DenseTiming> timing, int ringBytes)
    : timing_(timing), ringBytes_(ringBytes)
{
    reset();
}

void DenseEncoder::setTarget(const VideoTarget& target)
{
    timing_ = timingFor(target);
    ringBytes_ = ringBytesFor(target);
    reset();
}

void DenseEncoder::reset()
{
    out_.clear();
    carryLog_.clear();
    s_ = State{};
    s_.contexts.fill(InitialState);
    if (timing_) {
        schedule_.emplace(*timing_, ringBytes_);
    }
    frame_ = 0;
    rawFrames_ = 0;
    compactFrames_ = 0;
    rawRowFrames_ = 0;
    copyRowFrames_ = 0;
    keptRowFrames_ = 0;
    work_.clear();
    finalPacing_.reset();
    solidBlockFrames_ = 0;
    firstChanged_ = 0;
    lastTStates_ = 0;
    finished_ = false;
    sizeBeforeEnd_ = 0;
}

void DenseEncoder::putBit(int bit)
{
    const auto at = static_cast<std::size_t>(s_.bits >> 3);
    if (at == out_.size()) {
        out_.push_back(0);
    }
    if (bit != 0) {
        out_[at] = static_cast<std::uint8_t>(out_[at] | (0x80u >> (s_.bits & 7)));
    }
    ++s_.bits;
}

// Adds 1 at the last bit written: the low end of the interval passed 10000h.
void DenseEncoder::carry()
{
    std::uint64_t bit = s_.bits;
    while (bit > 0) {
        --bit;
        const auto at = static_cast<std::size_t>(bit >> 3);
        const auto mask = static_cast<std::uint8_t>(0x80u >> (bit & 7));
        carryLog_.emplace_back(at, out_[at]);
        firstChanged_ = std::min(firstChanged_, static_cast<int>(at));
        out_[at] = static_cast<std::uint8_t>(out_[at] ^ mask);
        if ((out_[at] & mask) != 0) {
            return;  // a 0 became 1: the carry stops
        }
    }
    assert(false && "a carry out of the whole code");
}

void DenseEncoder::code(int context, int bit, Kind where)
{
    std::uint8_t& state = s_.contexts[static_cast<std::size_t>(context)];
    const Kind kind = where == Kind::OfContext ? decisionKind(context) : where;
    const std::uint32_t q = static_cast<std::uint32_t>(state & 0x7F) << 8;
    const bool isMps = bit == state >> 7;
    const std::uint32_t bottom = s_.range - q;
    const bool wide = bottom >= 0x8000;
    bool takeTop;
    if (wide) {
        if (isMps) {
            s_.tStates += decisionTStates(kind, Way::Fast, Update::AfterMps, 0, 0);
            s_.range = bottom;
            return;
        }
        takeTop = true;
    } else {
        const bool bottomIsMps = bottom >= q;
        takeTop = isMps != bottomIsMps;
    }
    if (takeTop) {
        s_.low += bottom;
        s_.range = q;
        if (s_.low >= 0x10000) {
            s_.low -= 0x10000;
            carry();
        }
    } else {
        s_.range = bottom;
    }
    const Update update = isMps ? Update::AfterMps
        : lpsSizeIndex(state & 0x7F) == 0 ? Update::AfterLpsSwap
                                          : Update::AfterLps;
    state = isMps ? nextAfterMps(state) : nextAfterLps(state);
    int doublings = 0;
    int newBytes = 0;
    while (s_.range < 0x8000) {
        s_.range <<= 1;
        putBit(static_cast<int>((s_.low >> 15) & 1));
        s_.low = (s_.low << 1) & 0xFFFF;
        if (s_.doublings % 8 == 0) {
            ++newBytes;
        }
        ++s_.doublings;
        ++doublings;
    }
    const Way way = wide ? Way::Wide : takeTop ? Way::NarrowTop : Way::NarrowBottom;
    s_.tStates += decisionTStates(kind, way, update, doublings, newBytes);
}

// Writes out the interval's base (its low byte is always 0), then pads to a
// byte.
void DenseEncoder::flush()
{
    assert((s_.low & 0xFF) == 0);
    for (int i = 15; i >= 8; --i) {
        putBit(static_cast<int>((s_.low >> i) & 1));
    }
    s_.bits = (s_.bits + 7) & ~std::uint64_t{7};
    out_.resize(static_cast<std::size_t>(s_.bits >> 3));
}

void DenseEncoder::restart()
{
    s_.low = 0;
    s_.range = 0x8000;
    s_.doublings = 0;
}

void DenseEncoder::sendBytes(std::span<const std::uint8_t> bytes, bool counted)
{
    flush();
    if (counted) {
        out_.push_back(static_cast<std::uint8_t>(bytes.size() & 0xFF));
        out_.push_back(static_cast<std::uint8_t>(bytes.size() >> 8));
    }
    out_.insert(out_.end(), bytes.begin(), bytes.end());
    s_.bits = static_cast<std::uint64_t>(out_.size()) * 8;
    restart();
}

DenseEncoder::Snapshot DenseEncoder::save() const
{
    return {s_, out_.size(), out_.empty() ? std::uint8_t{0} : out_.back(), carryLog_.size()};
}

void DenseEncoder::restore(const Snapshot& snapshot)
{
    while (carryLog_.size() > snapshot.carryLog) {
        const auto& [at, value] = carryLog_.back();
        if (at < out_.size()) {
            out_[at] = value;
        }
        carryLog_.pop_back();
    }
    out_.resize(snapshot.size);
    if (!out_.empty()) {
        out_.back() = snapshot.lastByte;
    }
    s_ = snapshot.state;
}

bool DenseEncoder::codeFrame(const Screen& screen, bool large, bool rawRows, bool copyRows, bool keptRows,
                             bool solidBlocks, bool packed)
{
    s_.tStates += frameStartTStates(large, rawRows, copyRows, keptRows, solidBlocks);
    code(EndContext, 0);
    code(RawContext, 0);
    code(CompactContext, 0);
    code(LargeContext, large ? 1 : 0);
    code(RawRowsContext, rawRows ? 1 : 0);
    code(CopyRowsContext, copyRows ? 1 : 0);
    if (copyRows) {
        code(KeptRowsContext, keptRows ? 1 : 0);
    }
    if (!rawRows) {
        code(SolidBlocksContext, solidBlocks ? 1 : 0);
    }
    std::vector<std::uint8_t> bytes;
    if (rawRows) {
        code(PackedContext, packed ? 1 : 0);
        // The row bytes go first: which rows they are follows from the
        // screens alone, as the decisions that pick them will be coded.
        Screen now = s_.now;
        BlockFlags flags = s_.flags;
        std::vector<std::uint8_t> rows;
        codeBlocks(
            now, screen, flags, true, copyRows, keptRows, false,
            [](int, int value, Kind = Kind::OfContext) { return value; },
            [&](std::uint8_t value) {
                rows.push_back(value);
                return value;
            },
            [](int) {});
        bytes = packed ? packRows(rows) : rows;
        if (bytes.size() > static_cast<std::size_t>(ScreenSize)) {
            return false;  // more than the player's buffer holds
        }
        sendBytes(bytes, true);
        s_.tStates += rawRowsTStates(packed, static_cast<int>(bytes.size()));
    }
    RowReader reader(bytes, packed);
    int changed = 0;
    codeBlocks(
        s_.now, screen, s_.flags, rawRows, copyRows, keptRows, solidBlocks,
        [&](int context, int value, Kind kind = Kind::OfContext) {
            code(context, value, kind);
            if (context >= BlockContext && context < BlockContext + BlockContexts && value == 1) {
                ++changed;
            }
            return value;
        },
        [&](std::uint8_t) { return reader.next(s_.tStates); }, [&](int tStates) { s_.tStates += tStates; });
    assert(!rawRows || reader.exact());
    s_.tStates += cost::FrameEnd;
    s_.changed = changed;
    return true;
}

void DenseEncoder::codeRaw(const Screen& screen)
{
    code(EndContext, 0);
    code(RawContext, 1);
    sendBytes(screen, false);
    s_.tStates += rawFrameTStates(screen);
    s_.now = screen;
    s_.flags.fill(1);
    s_.changed = BlockCount;
}

void DenseEncoder::codeCompact(const Screen& screen, const std::vector<std::uint8_t>& bytes, int commandTStates)
{
    code(EndContext, 0);
    code(RawContext, 0);
    code(CompactContext, 1);
    sendBytes(bytes, true);
    s_.tStates += compactFrameTStates(static_cast<int>(bytes.size()), commandTStates, screen);
    s_.now = screen;
    s_.flags.fill(1);
    s_.changed = BlockCount;
}

namespace {

// Each way a frame can go but raw and compact: the pixels, with or without
// copied rows (and kept rows), with or without solid blocks, or raw rows,
// packed or not, with or without copied rows (and kept rows).
struct FrameWay {
    bool rawRows;
    bool copyRows;
    bool keptRows;
    bool solidBlocks;
    bool packed;
};
constexpr std::array<FrameWay, 12> Ways{{{false, false, false, false, false},
                                         {false, true, false, false, false},
                                         {false, true, true, false, false},
                                         {false, false, false, true, false},
                                         {false, true, false, true, false},
                                         {false, true, true, true, false},
                                         {true, true, false, false, true},
                                         {true, true, true, false, true},
                                         {true, true, false, false, false},
                                         {true, true, true, false, false},
                                         {true, false, false, false, true},
                                         {true, false, false, false, false}}};
constexpr int CompactWay = static_cast<int>(Ways.size());
constexpr int RawWay = CompactWay + 1;

}  // namespace

std::int64_t DenseEncoder::bitsSince(const Snapshot& start) const
{
    return static_cast<std::int64_t>(s_.bits) - static_cast<std::int64_t>(start.state.bits);
}

int DenseEncoder::stretchSince(const Snapshot& start) const
{
    // What the frame's stream, as far as it has been coded, may cost beyond
    // its decoding where it meets the ends of stretches.
    return timing_ ? timing_->stretchFor(static_cast<std::int64_t>(start.state.bits >> 3),
                                         static_cast<std::int64_t>((s_.bits + 15) >> 3))
                   : 0;
}

double DenseEncoder::slackSince(const Snapshot& start, bool waits, bool whole) const
{
    if (!schedule_) {
        return 0.0;
    }
    // The first frame's show comes out of the next frame's time: the
    // sooner both are done, the better.
    const int show = frame_ > 0 ? 0
        : whole                 ? timing_->screenShowTStates()
                                : timing_->showTStates(frameRecords_);
    return schedule_->slack(s_.tStates + show, waits, stretchSince(start));
}

void DenseEncoder::Choice::timed(int trial, double slack)
{
    if (fastest < 0 || slack > fastestSlack) {
        fastest = trial;
        fastestSlack = slack;
    }
}

double DenseEncoder::timeBits() const
{
    // Each T-state counts as TimeBits bits when the player is close to
    // running dry (fewer than aheadFrames frames' time ahead of its tick),
    // so that heavy stretches are coded in the faster ways from their start
    // instead of in raw rows at their end.
    if (!schedule_) {
        return 0.0;
    }
    const double ahead = schedule_->slack(0) / timing_->decodeTStatesPerFrame();
    const double aheadFrames = AheadFramesPerRingByte * ringBytes_;
    return TimeBits * std::max(0.0, 1.0 - ahead / aheadFrames);
}

void DenseEncoder::tryWays(const Screen& screen, const Snapshot& start, bool large, double weight, Choice& choice)
{
    for (int i = 0; i < static_cast<int>(Ways.size()); ++i) {
        const FrameWay& trial = Ways[static_cast<std::size_t>(i)];
        if ((narrowed_.copyRowsOnly && !trial.copyRows) || (narrowed_.keptRowsOnly && !trial.keptRows) ||
            (narrowed_.packedOnly && trial.rawRows && !trial.packed) ||
            (narrowed_.solidBlocksOnly && !trial.rawRows && !trial.solidBlocks)) {
            continue;
        }
        restore(start);
        s_.tStates = 0;
        if (!codeFrame(screen, large, trial.rawRows, trial.copyRows, trial.keptRows, trial.solidBlocks, trial.packed)) {
            continue;
        }
        const double bits = static_cast<double>(bitsSince(start)) + weight * s_.tStates;
        const double slack = slackSince(start, large, false);
        choice.timed(i, slack);
        if (slack >= 0.0 && (choice.way < 0 || bits < choice.best)) {
            choice.best = bits;
            choice.way = i;
        }
    }
}

void DenseEncoder::tryCompact(const Screen& screen, const Snapshot& start, double weight, Choice& choice)
{
    // A heavy frame, or one that would go with raw rows or raw, may go
    // compact instead: the compact stream's commands, which copy and keep
    // runs of bytes, are faster than raw rows and suit screens that move.
    if (choice.way >= 0 && !Ways[static_cast<std::size_t>(choice.way)].rawRows && choice.best <= CompactTrialBits &&
        !narrowed_.compactOnly) {
        return;
    }
    choice.compactBytes = compact_.codeAlone(start.state.now, screen);
    if (choice.compactBytes.size() > static_cast<std::size_t>(CompactFrameBytes)) {
        return;
    }
    // The compact encoder's count, with the player's own pauses.
    const int pauses = compact_.lastFrameSegments() - 1;
    const int tStates = compact_.lastFrameTStates() + pauses * (cost::CompactPause - compact::cost::Pause);
    choice.compactTStates = tStates;
    assert([&] {
        Screen check = start.state.now;
        return compact::decodeAloneFrame(choice.compactBytes, check, cost::CompactPause) == tStates && check == screen;
    }());
    restore(start);
    s_.tStates = 0;
    codeCompact(screen, choice.compactBytes, tStates);
    const double bits = static_cast<double>(bitsSince(start)) + weight * s_.tStates;
    const double slack = slackSince(start, true, true);
    choice.timed(CompactWay, slack);
    if (slack >= 0.0 && (choice.way < 0 || bits < choice.best || narrowed_.compactOnly)) {
        choice.best = bits;
        choice.way = CompactWay;
    }
}

bool DenseEncoder::codeChoice(const Screen& screen, const Snapshot& start, bool large, double weight,
                              Choice& choice)
{
    constexpr std::int64_t RawBits = (ScreenSize + 2) * 8;
    restore(start);
    s_.tStates = 0;
    if (choice.way < 0) {
        // Nothing is on time: the way that is done soonest, raw as well, so
        // that the frames after it catch up.
        codeRaw(screen);
        choice.timed(RawWay, slackSince(start, true, true));
        choice.way = choice.fastest;
        restore(start);
        s_.tStates = 0;
    }
    // Raw when it is smaller still.
    const bool rawSmaller = choice.way != RawWay &&
        RawBits + weight * rawFrameTStates(screen) < choice.best &&
        !(choice.way == CompactWay && narrowed_.compactOnly);
    if (choice.way == RawWay || rawSmaller) {
        codeRaw(screen);
        ++rawFrames_;
        return true;
    }
    if (choice.way == CompactWay) {
        codeCompact(screen, choice.compactBytes, *choice.compactTStates);
        ++compactFrames_;
        return true;
    }
    const FrameWay chosen = Ways[static_cast<std::size_t>(choice.way)];
    codeFrame(screen, large, chosen.rawRows, chosen.copyRows, chosen.keptRows, chosen.solidBlocks, chosen.packed);
    if (chosen.rawRows) {
        ++rawRowFrames_;
    }
    if (chosen.copyRows) {
        ++copyRowFrames_;
    }
    if (chosen.keptRows) {
        ++keptRowFrames_;
    }
    if (chosen.solidBlocks) {
        ++solidBlockFrames_;
    }
    return false;
}

// The frame goes the way that is on time and takes the fewest bits, its
// T-states weighed in while the player is close to running dry (timeBits);
// raw when that is smaller still, or when nothing else is on time.
void DenseEncoder::addFrame(const Screen& screen)
{
    assert(!finished_);
    firstChanged_ = static_cast<int>(s_.bits >> 3);
    carryLog_.clear();
    const Snapshot start = save();
    // A frame whose records take more than the room the player begins a
    // frame with waits for more, as a raw or compact frame does.
    frameRecords_ = blockRecordBytes(start.state.now, screen);
    const std::vector<int>& blockRecords = frameRecords_;
    const bool large = largeRecords(blockRecords);

    const double weight = timeBits();
    Choice choice;
    tryWays(screen, start, large, weight, choice);
    tryCompact(screen, start, weight, choice);
    if (frame_ == 0 && fastKeyFrame_) {
        choice.way = -1;  // as if none were on time: the soonest done
    }
    // A raw or compact frame's record is the whole screen.
    const bool whole = codeChoice(screen, start, large, weight, choice);

    carryLog_.clear();
    lastTStates_ = s_.tStates;
    if (schedule_) {
        const int stretch = stretchSince(start);
        if (whole) {
            schedule_->addWhole(s_.tStates, stretch);
        } else {
            schedule_->addBlocks(s_.tStates, blockRecords, stretch);
        }
        work_.push_back({s_.tStates, whole ? std::vector<int>{} : blockRecords, stretch});
    }
    ++frame_;
}

void DenseEncoder::finish()
{
    assert(!finished_);
    sizeBeforeEnd_ = size();
    firstChanged_ = static_cast<int>(s_.bits >> 3);
    s_.tStates = 0;
    code(EndContext, 1);
    flush();
    carryLog_.clear();
    finished_ = true;
    if (schedule_) {
        // Played again as a looping video: its end, the player's restart
        // (the first AppVar found again in the archive), then the first
        // frame again.
        const int restart = s_.tStates + cost::Restart + timing_->pageEndTStates;
        finalPacing_ = schedule_->laterRounds(work_, restart, LaterRounds);
    }
}

}  // namespace zoetra::dense
