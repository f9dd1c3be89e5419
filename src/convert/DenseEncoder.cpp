#include "convert/DenseEncoder.h"

#include <algorithm>
#include <cassert>

namespace zoetra::dense {

namespace {

// Bits a raw frame takes at most beyond its decisions: the flushed code, the
// padding and the screen.
constexpr std::uint64_t RawFrameBits = 16 + 7 + ScreenSize * 8;

// What a pause decision of 1 may add to a piece that has room left for the
// work after it: the slow path and, at the smallest LPS size, eight
// doublings each with a new byte (with room to spare).
// The part of a frame's ticks of decoding the ring keeps spare.
constexpr double PaceMargin = 0.5;

constexpr int PauseReserve = cost::Decision + cost::DecisionSlow + 16 * (cost::Shift + cost::NewByte);

}  // namespace

DenseEncoder::DenseEncoder(const DenseTiming& timing, int halvesAboveTStates, int ringFrames)
    : timing_(timing)
    , budget_(timing.pieceBudget())
    , halvesAbove_(halvesAboveTStates >= 0 ? halvesAboveTStates
                                           : static_cast<int>(timing.decodeTicksPerFrame() * budget_))
    , ringFrames_(ringFrames)
    , frameTicks_(timing.decodeTicksPerFrame())
{
    reset();
}

void DenseEncoder::reset()
{
    out_.clear();
    carryLog_.clear();
    logging_ = false;
    s_ = State{};
    s_.contexts.fill(InitialState);
    s_.blocks.fill(Uniform);
    before_ = {};
    work_.clear();
    frame_ = 0;
    rawFrames_ = 0;
    halvesFrames_ = 0;
    spare_ = (ringFrames_ - 1) * frameTicks_;
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
        if (logging_) {
            carryLog_.emplace_back(at, out_[at]);
        }
        firstChanged_ = std::min(firstChanged_, static_cast<int>(at));
        out_[at] = static_cast<std::uint8_t>(out_[at] ^ mask);
        if ((out_[at] & mask) != 0) {
            return;  // a 0 became 1: the carry stops
        }
    }
    assert(false && "a carry out of the whole code");
}

void DenseEncoder::code(int context, int bit)
{
    std::uint8_t& state = s_.contexts[static_cast<std::size_t>(context)];
    const std::uint32_t q = static_cast<std::uint32_t>(state & 0x7F) << 8;
    const bool isMps = bit == state >> 7;
    const std::uint32_t top = s_.range - q;
    bool takeTop;
    if (top >= 0x8000) {
        if (isMps) {
            addCost(cost::Decision);
            s_.low += q;
            s_.range = top;
            if (s_.low >= 0x10000) {
                s_.low -= 0x10000;
                carry();
            }
            return;
        }
        takeTop = false;
    } else {
        const bool topIsMps = top >= q;
        takeTop = isMps == topIsMps;
    }
    if (takeTop) {
        s_.low += q;
        s_.range = top;
        if (s_.low >= 0x10000) {
            s_.low -= 0x10000;
            carry();
        }
    } else {
        s_.range = q;
    }
    state = isMps ? nextAfterMps(state) : nextAfterLps(state);
    int tStates = cost::Decision + cost::DecisionSlow;
    while (s_.range < 0x8000) {
        s_.range <<= 1;
        putBit(static_cast<int>((s_.low >> 15) & 1));
        s_.low = (s_.low << 1) & 0xFFFF;
        tStates += cost::Shift;
        if (s_.readBits % 8 == 0) {
            tStates += cost::NewByte;
        }
        ++s_.readBits;
    }
    addCost(tStates);
}

// Writes out the code's last 16 bits, then pads to a byte: the decoder has
// read exactly as far.
void DenseEncoder::flush()
{
    for (int i = 15; i >= 0; --i) {
        putBit(static_cast<int>((s_.low >> i) & 1));
    }
    s_.bits = (s_.bits + 7) & ~std::uint64_t{7};
}

void DenseEncoder::restart()
{
    s_.low = 0;
    s_.range = 0x8000;
    s_.readBits = 16;
}

DenseEncoder::Snapshot DenseEncoder::save() const
{
    return {s_, out_.size(), out_.empty() ? std::uint8_t{0} : out_.back(), carryLog_.size(), work_.size(),
            work_.empty() ? Work{} : work_.back()};
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
    work_.resize(snapshot.workSize);
    if (!work_.empty()) {
        work_.back() = snapshot.lastWork;
    }
}

void DenseEncoder::addCost(int tStates)
{
    if (work_.empty() || work_.back().frame != frame_) {
        work_.push_back({frame_, 0, false});
    }
    work_.back().tStates += tStates;
    s_.cost += tStates;
}

void DenseEncoder::newPiece()
{
    work_.push_back({frame_, 0, true});
    s_.cost = 0;
    addCost(cost::Pause);
}

template <typename Segment>
void DenseEncoder::inPiece(Segment&& segment)
{
    const bool outer = !logging_;
    logging_ = true;
    const Snapshot before = save();
    code(PauseContext + pauseContext(s_.sincePause), 0);
    segment();
    if (s_.cost + cost::PageCrossing + PauseReserve <= budget_) {
        if (outer) {
            logging_ = false;
            carryLog_.clear();
        }
        return;
    }
    restore(before);
    code(PauseContext + pauseContext(s_.sincePause), 1);
    s_.sincePause = 0;
    newPiece();
    segment();
    assert(s_.cost + cost::PageCrossing + PauseReserve <= budget_);
    if (outer) {
        logging_ = false;
        carryLog_.clear();
    }
}

void DenseEncoder::codeFlagsUpTo(const Screen& screen, int& block)
{
    for (; block < BlockCount; ++block) {
        const int column = block % BlockColumns;
        const int top = (block / BlockColumns) * 8;
        bool changed = false;
        for (int row = 0; row < 8; ++row) {
            const auto at = static_cast<std::size_t>((top + row) * BytesPerRow + column);
            changed = changed || screen[at] != s_.now[at];
        }
        code(BlockContext + blockContext(s_.blocks, block), changed ? 1 : 0);
        addCost(cost::Block);
        s_.flagsBefore = s_.blocks[static_cast<std::size_t>(block)];
        s_.blocks[static_cast<std::size_t>(block)] = blockFlags(screen, block, changed);
        if (changed) {
            return;
        }
    }
}

void DenseEncoder::codeBlock(const Screen& screen, int block, bool halves)
{
    const int column = block % BlockColumns;
    const int top = (block / BlockColumns) * 8;
    addCost(cost::ChangedBlock);
    ++s_.sincePause;
    bool topChanged = false;
    for (int half = 0; half < 2; ++half) {
        bool changed = false;
        for (int y = top + 4 * half; y < top + 4 * half + 4; ++y) {
            const auto at = static_cast<std::size_t>(y * BytesPerRow + column);
            changed = changed || screen[at] != s_.now[at];
        }
        if (!halves) {
            changed = true;  // every pixel of the block is coded
        } else if (half == 0 || topChanged) {
            code(HalfContext + halfContext(half, s_.flagsBefore), changed ? 1 : 0);
        }
        topChanged = changed;
        if (!changed) {
            continue;
        }
        addCost(halves ? cost::Half : 0);
        for (int y = top + 4 * half; y < top + 4 * half + 4; ++y) {
            codeRow(
                s_.now, before_, screen, column, y,
                [&](int context, int value) {
                    code(context, value);
                    return value;
                },
                [&](int tStates) { addCost(tStates); });
        }
    }
}

void DenseEncoder::codeRaw(const Screen& screen)
{
    code(EndContext, 0);
    code(RawContext, 1);
    flush();
    out_.resize(static_cast<std::size_t>(s_.bits >> 3));
    out_.insert(out_.end(), screen.begin(), screen.end());
    s_.bits += ScreenSize * 8;
    restart();
    addCost(cost::RawFrame);
    s_.now = screen;
    for (int block = 0; block < BlockCount; ++block) {
        s_.blocks[static_cast<std::size_t>(block)] = blockFlags(screen, block, true);
    }
}

void DenseEncoder::codeFrame(const Screen& screen, bool halves)
{
    int block = 0;
    inPiece([&] {
        block = 0;
        code(EndContext, 0);
        code(RawContext, 0);
        code(HalvesContext, halves ? 1 : 0);
        addCost(cost::Frame);
        codeFlagsUpTo(screen, block);
    });
    while (block < BlockCount) {
        // A segment may be coded twice: it starts from the same block each time.
        inPiece([&, from = block] {
            block = from;
            codeBlock(screen, block, halves);
            ++block;
            codeFlagsUpTo(screen, block);
        });
    }
}

int DenseEncoder::piecesSince(std::size_t work) const
{
    int pieces = 0;
    for (std::size_t i = work; i < work_.size(); ++i) {
        if (work_[i].frame == frame_ && work_[i].startsPiece) {
            ++pieces;
        }
    }
    return pieces;
}

int DenseEncoder::tStatesSince(std::size_t work) const
{
    int sum = 0;
    for (std::size_t i = work; i < work_.size(); ++i) {
        if (work_[i].frame == frame_) {
            sum += work_[i].tStates;
        }
    }
    return sum;
}

void DenseEncoder::addFrame(const Screen& screen)
{
    assert(!finished_);
    const std::size_t workBefore = work_.size();
    const std::uint64_t bitsBefore = s_.bits;
    firstChanged_ = static_cast<int>(bitsBefore >> 3);

    // What the ring can hold ahead, and part of a frame's time kept for the
    // pieces not filling their ticks.
    const double most = (ringFrames_ - 1) * frameTicks_;
    const double margin = frameTicks_ * PaceMargin;
    const auto late = [&] { return ringFrames_ > 0 && spare_ + frameTicks_ - piecesSince(workBefore) < margin; };

    const Snapshot start = save();
    logging_ = true;
    codeFrame(screen, false);
    if (tStatesSince(workBefore) > halvesAbove_ || late()) {
        restore(start);
        logging_ = true;
        codeFrame(screen, true);
        ++halvesFrames_;
    }
    if (s_.bits - bitsBefore > RawFrameBits || late()) {
        restore(start);
        logging_ = true;
        inPiece([&] { codeRaw(screen); });
        ++rawFrames_;
    }
    logging_ = false;
    carryLog_.clear();

    before_ = screen;
    lastTStates_ = tStatesSince(workBefore);
    spare_ = std::min(most, spare_ + frameTicks_ - piecesSince(workBefore));
    ++frame_;
}

void DenseEncoder::finish()
{
    assert(!finished_);
    sizeBeforeEnd_ = size();
    firstChanged_ = static_cast<int>(s_.bits >> 3);
    logging_ = true;
    inPiece([&] { code(EndContext, 1); });
    logging_ = false;
    carryLog_.clear();
    flush();
    out_.resize(static_cast<std::size_t>(s_.bits >> 3));
    finished_ = true;
}

}  // namespace zoetra::dense
