#pragma once

#include "codec/Codec.h"
#include "codec/compact/CompactEncoder.h"
#include "codec/dense/DenseCost.h"
#include "codec/dense/DenseFormat.h"
#include "codec/dense/DensePacing.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace zoetra::dense {

// Encodes a sequence of screens into the dense stream (DenseFormat.h), one
// frame at a time, so that the stream's size is known after every frame.
// Each frame is coded against the one before, block by block, in the way
// that takes the fewest bytes and keeps it on time: pixel by pixel, with its
// rows raw, compact, or raw. With a timing, the encoder plays the player's
// schedule (DensePacing.h) as it goes: a frame that would be late is sent in
// a faster way, and if none is on time, the way done soonest.
class DenseEncoder final : public StreamEncoder {
public:
    explicit DenseEncoder(std::optional<DenseTiming> timing = slowTiming(), int ringBytes = RingBytes);

    void reset() override;
    // Keeps the target's time: its model's slowest clock and its rate.
    void setTarget(const VideoTarget& target) override;
    void addFrame(const Screen& screen) override;
    void finish() override;

    const std::vector<std::uint8_t>& bytes() const override { return out_; }
    // The bytes before the video end, the flush of the code so far counted.
    int size() const override { return finished_ ? sizeBeforeEnd_ : static_cast<int>((s_.bits + 8 + 7) >> 3); }
    int firstChangedByte() const override { return firstChanged_; }
    int lastFrameTStates() const override { return lastTStates_; }

    // Narrows the ways a frame that is not raw may go: only with copied
    // rows, or only with kept rows; raw rows, if any, only packed; without
    // raw rows only with solid blocks; compact wherever a frame can go so
    // (a player's test reaches each way through its decoder so).
    struct Narrowing {
        bool copyRowsOnly = false;
        bool packedOnly = false;
        bool keptRowsOnly = false;
        bool solidBlocksOnly = false;
        bool compactOnly = false;
    };
    void narrowWays(Narrowing narrowing) { narrowed_ = narrowing; }
    // The key frame goes the way decoded soonest rather than the one of
    // the fewest bytes: a looping video decodes it again at each round's
    // start, in the time the round before leaves it. Set before the first
    // frame.
    void setFastKeyFrame(bool fast) { fastKeyFrame_ = fast; }

    int frames() const { return frame_; }
    int rawFrames() const { return rawFrames_; }
    int compactFrames() const { return compactFrames_; }
    int rawRowFrames() const { return rawRowFrames_; }
    int copyRowFrames() const { return copyRowFrames_; }
    int keptRowFrames() const { return keptRowFrames_; }
    int solidBlockFrames() const { return solidBlockFrames_; }
    // The player's schedule so far (with a timing); once finished, with the
    // second and third rounds of the video played as a looping one.
    const PacingReport& pacing() const
    {
        return finalPacing_ ? *finalPacing_ : schedule_ ? schedule_->report() : noPacing_;
    }

private:
    // Everything a trial coding changes, besides the output bytes.
    struct State {
        std::uint32_t low = 0;
        std::uint32_t range = 0x8000;
        std::uint64_t bits = 0;     // bits written (the last byte may be partial)
        std::uint32_t doublings = 0;  // since the coder's start
        std::array<std::uint8_t, ContextCount> contexts{};
        Screen now{};
        BlockFlags flags{};
        int tStates = 0;  // the frame's
        int changed = 0;  // the frame's changed blocks
    };
    struct Snapshot {
        State state;
        std::size_t size;
        std::uint8_t lastByte;
        std::size_t carryLog;
    };

    void code(int context, int bit, Kind where = Kind::OfContext);
    void putBit(int bit);
    void carry();
    void flush();
    void restart();
    // Ends the code, sends the bytes as they are (their count first, two
    // bytes, where counted) and starts the coder again.
    void sendBytes(std::span<const std::uint8_t> bytes, bool counted);
    Snapshot save() const;
    void restore(const Snapshot& snapshot);

    // False (and the frame half written) when its raw rows would not fit
    // the player's buffer. `large`: its records take more than the room the
    // player begins a frame with.
    bool codeFrame(const Screen& screen, bool large, bool rawRows, bool copyRows, bool keptRows, bool solidBlocks,
                   bool packed);
    void codeRaw(const Screen& screen);
    // The frame as a compact one, from its bytes and its commands' T-states.
    void codeCompact(const Screen& screen, const std::vector<std::uint8_t>& bytes, int commandTStates);

    // Choosing a frame's way (addFrame): the ways tried, each from `start`,
    // the one on time with the fewest bits (T-states weighed at `weight`
    // bits) kept in the choice; then coded. codeChoice is true for a frame
    // whose record is the whole screen (raw or compact).
    struct Choice {
        int way = -1;  // into the ways, the compact way, then raw after them; -1: none on time
        double best = 0.0;
        std::vector<std::uint8_t> compactBytes;
        std::optional<int> compactTStates;
        // The way done soonest, for a frame that nothing keeps on time.
        int fastest = -1;
        double fastestSlack = 0.0;
        void timed(int trial, double slack);
    };
    double timeBits() const;
    std::int64_t bitsSince(const Snapshot& start) const;
    int stretchSince(const Snapshot& start) const;
    // How long before its tick the frame coded since `start` would be
    // decoded (negative: late); 0 without a timing. `whole`: its record is
    // the whole screen.
    double slackSince(const Snapshot& start, bool waits, bool whole) const;
    void tryWays(const Screen& screen, const Snapshot& start, bool large, double weight, Choice& choice);
    void tryCompact(const Screen& screen, const Snapshot& start, double weight, Choice& choice);
    bool codeChoice(const Screen& screen, const Snapshot& start, bool large, double weight, Choice& choice);

    std::optional<DenseTiming> timing_;
    int ringBytes_ = RingBytes;
    Narrowing narrowed_;
    bool fastKeyFrame_ = false;
    std::optional<Schedule> schedule_;
    std::vector<FrameWork> work_;  // each frame's, for the schedule's later rounds
    std::vector<int> frameRecords_;  // the frame's records, coded block by block
    std::optional<PacingReport> finalPacing_;
    PacingReport noPacing_;

    compact::CompactEncoder compact_;
    std::vector<std::uint8_t> out_;
    std::vector<std::pair<std::size_t, std::uint8_t>> carryLog_;
    State s_{};

    int frame_ = 0;
    int rawFrames_ = 0;
    int compactFrames_ = 0;
    int rawRowFrames_ = 0;
    int copyRowFrames_ = 0;
    int keptRowFrames_ = 0;
    int solidBlockFrames_ = 0;
    int firstChanged_ = 0;
    int lastTStates_ = 0;
    bool finished_ = false;
    int sizeBeforeEnd_ = 0;
};

}  // namespace zoetra::dense
