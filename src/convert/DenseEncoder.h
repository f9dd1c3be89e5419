#pragma once

#include "convert/Codec.h"
#include "convert/DenseFormat.h"
#include "convert/DensePacing.h"

#include <cstdint>
#include <vector>

namespace zoetra::dense {

// Encodes a sequence of screens into the dense stream (DenseFormat.h), one
// frame at a time, so that the stream's size is known after every frame.
// Each frame is coded against the one before, block by block; one that would
// come out larger than raw is sent raw. A frame whose decoding would take
// more than `halvesAboveTStates` (by default what the player can decode in a
// frame's time) is coded again in halves, which the decoder skips where they
// stay. With `ringFrames` set, the encoder keeps the player's ring of that
// many frames from running dry: it counts the ticks of decoding the frames so
// far have left over (at most what the ring can hold ahead), and a frame
// that would use more ticks than are left, even in halves, is sent raw, which costs
// its 768 bytes but decodes in a tenth of a frame's time. Pieces of decoding
// work are cut by pause decisions so that each fits one timer tick of
// `timing`.
class DenseEncoder final : public StreamEncoder {
public:
    explicit DenseEncoder(const DenseTiming& timing = slowTiming(), int halvesAboveTStates = -1,
                          int ringFrames = DefaultRingFrames);

    // Starts a new stream; the next frame is coded against a white screen.
    void reset() override;
    void addFrame(const Screen& screen) override;
    // Codes the video end and flushes the coder. Nothing may follow.
    void finish() override;

    const std::vector<std::uint8_t>& bytes() const override { return out_; }
    // The bytes before the video end (the code not yet flushed counts as
    // the two bytes the flush writes).
    int size() const override { return finished_ ? sizeBeforeEnd_ : static_cast<int>((s_.bits + 7) >> 3) + 2; }
    // Stream bytes from this position on were written or changed by the last
    // addFrame or finish (a carry may reach back into bytes before the
    // frame's own).
    int firstChangedByte() const override { return firstChanged_; }

    // The decoder's T-states for the last frame added, and the work of the
    // whole stream so far in pieces (for the player's schedule).
    int lastFrameTStates() const override { return lastTStates_; }
    const std::vector<Work>& work() const { return work_; }
    int frames() const { return frame_; }
    int rawFrames() const { return rawFrames_; }
    int halvesFrames() const { return halvesFrames_; }

private:
    // Everything a trial coding changes, besides the output bytes.
    struct State {
        std::uint32_t low = 0;
        std::uint32_t range = 0x8000;
        std::uint64_t bits = 0;       // bits written (the last byte may be partial)
        std::uint32_t readBits = 16;  // bits the decoder has read since its start
        std::array<std::uint8_t, ContextCount> contexts{};  // filled by reset()
        Screen now{};
        BlockFlags blocks{};
        int cost = 0;  // T-states of the current piece so far
        int sincePause = 0;  // changed blocks coded since the last pause
        std::uint8_t flagsBefore = 0;  // the last block decided, its flags of the frame before
    };
    struct Snapshot {
        State state;
        std::size_t size;
        std::uint8_t lastByte;
        std::size_t carryLog;
        std::size_t workSize;
        Work lastWork;
    };

    void code(int context, int bit);
    void putBit(int bit);
    void carry();
    void flush();
    void restart();

    Snapshot save() const;
    void restore(const Snapshot& snapshot);

    // Codes a pause decision of 0 and `segment`; if the piece would then
    // run over its budget, codes a pause instead and the segment in a new
    // piece.
    template <typename Segment>
    void inPiece(Segment&& segment);
    void addCost(int tStates);
    void newPiece();

    void codeFrame(const Screen& screen, bool halves);
    void codeBlock(const Screen& screen, int block, bool halves);
    int tStatesSince(std::size_t work) const;
    // Pieces begun by this frame's work since `work` (one tick each).
    int piecesSince(std::size_t work) const;
    // Codes the changed flags from `block` on up to the first changed block
    // (its flag included), which `block` is left at, or to the frame's end.
    void codeFlagsUpTo(const Screen& screen, int& block);
    void codeRaw(const Screen& screen);

    DenseTiming timing_;
    int budget_ = 0;
    int halvesAbove_ = 0;
    int ringFrames_ = 0;
    double frameTicks_ = 0.0;  // ticks of decoding the player has per frame
    double spare_ = 0.0;       // ticks of decoding left over

    std::vector<std::uint8_t> out_;
    std::vector<std::pair<std::size_t, std::uint8_t>> carryLog_;
    bool logging_ = false;
    State s_{};
    Screen before_{};

    std::vector<Work> work_;
    int frame_ = 0;
    int rawFrames_ = 0;
    int halvesFrames_ = 0;
    int firstChanged_ = 0;
    int lastTStates_ = 0;
    bool finished_ = false;
    int sizeBeforeEnd_ = 0;
};

}  // namespace zoetra::dense
