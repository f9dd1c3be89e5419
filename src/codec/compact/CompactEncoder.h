#pragma once

#include "codec/Codec.h"
#include "codec/compact/CompactFormat.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

namespace zoetra::compact {

// Encodes a sequence of screens into the compact stream (CompactFormat.h),
// one frame at a time, so that the stream's size is known after every frame.
// Each frame is parsed for the fewest bits (a shortest path over the 769
// cursor positions, with keeps, literals, copies from a set of distances and
// repeats), then cut into segments that fit between two timer ticks; a frame
// that would take the decoder too long is parsed again with time weighed in,
// and at worst sent as literals.
class CompactEncoder final : public StreamEncoder {
public:
    CompactEncoder();
    ~CompactEncoder() override;
    CompactEncoder(CompactEncoder&&) noexcept;
    CompactEncoder& operator=(CompactEncoder&&) noexcept;

    // Starts a new stream; the next frame is the key frame.
    void reset() override;
    void addFrame(const Screen& screen) override;
    // Appends the video end. Nothing may follow.
    void finish() override;

    const std::vector<std::uint8_t>& bytes() const override { return out_; }
    int size() const override { return sizeBeforeEnd_ >= 0 ? sizeBeforeEnd_ : static_cast<int>(out_.size()); }
    // Stream bytes from this position on were written or changed by the last
    // addFrame or finish (a bit byte may have been shared with the frame
    // before).
    int firstChangedByte() const override { return firstChanged_; }

    // The decoder's T-states for the last frame added (its call included),
    // and its segments.
    int lastFrameTStates() const override { return lastTStates_; }
    // A tighter budget than FrameBudgetTStates, for a faster pace.
    void setFrameBudget(int tstates) override { frameBudget_ = std::min(FrameBudgetTStates, tstates); }
    int lastFrameSegments() const { return lastSegments_; }

    // One frame after `before`, as a stream of its own: its bits from a new
    // bit byte, the last distance 1 at its start, its end with nothing
    // after it (another stream may carry it). Starts this encoder's stream
    // again.
    std::vector<std::uint8_t> codeAlone(const Screen& before, const Screen& screen);

private:
    struct Step {
        Command type;
        std::int16_t length;
        std::int16_t distance;
    };
    struct WriterState {
        std::size_t size;
        std::size_t bitByte;
        int bitsLeft;
        std::uint8_t bitByteValue;
    };

    void parse(int timeWeight);
    bool writeSteps(const Screen& screen, bool checkBudget);
    void literalFrame(const Screen& screen);

    void putBit(int bit);
    void putBits(unsigned bits, int count);
    void putGamma(int n);
    WriterState saveWriter() const;
    void restoreWriter(const WriterState& state);
    int emitCode(After before, Command type);

    std::vector<std::uint8_t> out_;
    std::size_t bitByte_ = 0;
    int bitsLeft_ = 0;
    int newBitBytes_ = 0;

    Screen previous_{};
    bool keyFrame_ = true;
    int lastDistance_ = InitialDistance;
    int firstChanged_ = 0;
    int sizeBeforeEnd_ = -1;  // set by finish
    int lastTStates_ = 0;
    int frameBudget_ = FrameBudgetTStates;
    int lastSegments_ = 0;

    std::vector<Step> steps_;
    struct Parser;
    std::unique_ptr<Parser> parser_;
};

}  // namespace zoetra::compact
