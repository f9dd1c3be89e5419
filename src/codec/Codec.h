#pragma once

#include "shared/Screen.h"
#include "shared/VideoTarget.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zoetra {

// Encodes the screens the calculator must show, in order, into one stream
// format, a frame at a time, so that the stream's size is known after every
// frame. The screens are final: whatever the conversion decided (quality
// thinning included) has been applied to them.
class StreamEncoder {
public:
    virtual ~StreamEncoder() = default;

    // Starts a new stream; the next frame is the key frame.
    virtual void reset() = 0;
    virtual void addFrame(const Screen& screen) = 0;
    // Appends the video end. Nothing may follow.
    virtual void finish() = 0;

    virtual const std::vector<std::uint8_t>& bytes() const = 0;
    // The stream's length before its video end: what the size display, the
    // closing report and the limit count.
    virtual int size() const = 0;
    // Stream bytes from this position on were written or changed by the last
    // addFrame or finish.
    virtual int firstChangedByte() const = 0;
    // The player's T-states for decoding the last frame added.
    virtual int lastFrameTStates() const = 0;
    // The most T-states a frame may take the player, where the format can
    // trade bytes for time; set before the first frame.
    virtual void setFrameBudget(int tstates) { (void)tstates; }
    // The calculator and pace the stream is made for, where the format
    // keeps the player's time itself; set before the first frame.
    virtual void setTarget(const VideoTarget& target) { (void)target; }
};

// What a stream shows, frame by frame, and what it costs the player.
struct DecodedVideo {
    std::vector<Screen> frames;       // key frame first
    std::vector<int> tStates;         // the player's decoding T-states for each frame
    std::vector<int> segments;        // pieces between pauses, where the format has them (else 1)
    std::vector<int> longestSegment;  // T-states of each frame's longest piece
    std::size_t length = 0;           // stream bytes up to and with the video end
};

// One stream format: its encoder, its reference decoder and the player's
// part that decodes it. Each format has a folder of its own here (its
// format header, cost table, encoder and reference decoder) and a document
// in docs/formats.
struct Codec {
    StreamFormat format;
    std::string_view key;          // its name on the command line and in messages
    std::string_view caption;      // its name in the window
    std::string_view playerPart;   // the player's include that decodes it
    // The most stream bytes one frame takes, the key frame and the video's
    // end included: what the player reading from the archive must have in
    // one run to decode a frame.
    int maxFrameBytes;
    std::unique_ptr<StreamEncoder> (*makeEncoder)();
    // Reads the stream as the player does; fails, with a reason in `error`,
    // on a stream the player could not play the same way.
    std::optional<DecodedVideo> (*decode)(std::span<const std::uint8_t> stream, std::string* error);
};

const Codec& codecFor(StreamFormat format);
// The frames of a stream of the format as its reference decoder reads
// them; nothing when it cannot read them.
std::optional<std::size_t> streamFrames(StreamFormat format, std::span<const std::uint8_t> stream);
// Every format, in the order the window and the help list them.
std::span<const Codec> allCodecs();
const Codec* codecByKey(std::string_view key);

}  // namespace zoetra
