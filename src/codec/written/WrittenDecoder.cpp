#include "codec/written/WrittenDecoder.h"

#include "codec/written/WrittenCost.h"
#include "codec/written/WrittenFormat.h"

#include <algorithm>

namespace zoetra::written {

std::optional<DecodedVideo> decodeWrittenVideo(std::span<const std::uint8_t> stream, std::string* error)
{
    auto fail = [error](const std::string& text, std::size_t at) -> std::optional<DecodedVideo> {
        if (error != nullptr) {
            *error = text + " (stream byte " + std::to_string(at) + ")";
        }
        return std::nullopt;
    };
    if (stream.size() < ScreenByteCount) {
        return fail("the stream ends within the key frame", stream.size());
    }
    DecodedVideo video;
    Screen screen{};
    std::copy(stream.begin(), stream.begin() + ScreenByteCount, screen.begin());
    video.frames.push_back(screen);
    video.tStates.push_back(cost::KeyFrame);
    std::size_t at = ScreenByteCount;
    int records = 0;
    int carries = 0;
    for (;;) {
        if (at >= stream.size()) {
            return fail("the stream ends early", at);
        }
        const std::uint8_t first = stream[at];
        if (first == VideoEndMarker) {
            // Records before the video end are never shown: the player
            // starts again or waits for a key.
            video.length = at + 1;
            break;
        }
        if (first == FrameEndMarker) {
            video.frames.push_back(screen);
            video.tStates.push_back(cost::frameTStates(records, carries));
            records = 0;
            carries = 0;
            ++at;
            continue;
        }
        if (at + 3 > stream.size()) {
            return fail("the stream ends within a change record", at);
        }
        const std::size_t offset = std::size_t{first} * 256 + stream[at + 1];
        if (offset >= ScreenByteCount) {
            return fail("a change record outside the screen", at);
        }
        screen[offset] = stream[at + 2];
        ++records;
        carries += stream[at + 1] >= CarryingOffsetLow ? 1 : 0;
        at += 3;
    }
    video.segments.assign(video.frames.size(), 1);
    video.longestSegment = video.tStates;
    return video;
}

}  // namespace zoetra::written
