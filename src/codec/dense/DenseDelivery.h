#pragma once

#include "codec/Codec.h"
#include "codec/dense/DenseEncoder.h"

#include <memory>
#include <optional>
#include <vector>

namespace zoetra::dense {

// What a conversion to the dense stream delivers: the dense stream where it
// keeps the player's pace and takes no more bytes than the compact stream of
// the same screens; else the compact stream, made beside it. A looping
// video's dense stream keeps the rate over its rounds as well: each round's
// first frame is decoded again in the time the round before leaves it, and
// where it comes late the round must catch up by its end. Beside it goes a
// second dense stream whose key frame goes the way decoded soonest (a key
// frame of few bytes that takes long may make the frames after it go in
// faster, larger ways): looping, the one whose rounds begin late the fewer
// times goes out, else the smaller. A stream over `limit` bytes goes out
// only where no other is within it.
// size() and bytes() are the stream that would go out if the video ended
// with the frame given last; finish() settles it.
class DenseDelivery final : public StreamEncoder {
public:
    // `target`: the dense target (its model, rate and storage); `compact`:
    // the compact stream's encoder, made for the same target.
    DenseDelivery(const VideoTarget& target, std::unique_ptr<StreamEncoder> compact, int limit, bool looping);

    void reset() override;
    void addFrame(const Screen& screen) override;
    void finish() override;

    const std::vector<std::uint8_t>& bytes() const override { return chosen().bytes(); }
    int size() const override { return chosen().size(); }
    int firstChangedByte() const override { return switched_ ? 0 : chosen().firstChangedByte(); }
    int lastFrameTStates() const override { return chosen().lastFrameTStates(); }

    // What goes out and why.
    struct Outcome {
        StreamFormat format = StreamFormat::Dense;
        bool fastKeyFrame = false;  // the dense stream whose key frame is decoded soonest
        int denseBytes = 0;         // the dense stream's (the one of the fewest bytes)
        int compactBytes = 0;
        int lateFrames = 0;       // of the dense stream, as it plays once
        int roundLateFrames = 0;  // of its second and third rounds, looping
        bool roundsEndLate = false;  // looping, its third round ends late: it loses the rate
    };
    Outcome outcome() const;

private:
    enum class Stream { Dense, FastKey, Compact };
    // The stream that goes out, as the frames stand (`finished`: with the
    // later rounds of a looping video counted).
    Stream choose() const;
    bool delivers(const DenseEncoder& dense) const;
    const StreamEncoder& chosen() const;

    VideoTarget target_;
    int limit_;
    bool looping_;
    DenseEncoder dense_;
    std::optional<DenseEncoder> fastKey_;  // while its key frame differs
    std::unique_ptr<StreamEncoder> compact_;
    bool finished_ = false;
    Stream chosen_ = Stream::Dense;
    bool switched_ = false;  // by the last addFrame or finish
};

}  // namespace zoetra::dense
