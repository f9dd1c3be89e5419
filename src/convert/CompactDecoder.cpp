#include "convert/CompactDecoder.h"

#include <algorithm>

namespace zoetra::compact {

namespace {

class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> stream) : stream_(stream) {}

    bool failed() const { return !error_.empty(); }
    const std::string& error() const { return error_; }
    void fail(const std::string& text)
    {
        if (error_.empty()) {
            error_ = text + " (stream byte " + std::to_string(at_) + ")";
        }
    }
    std::size_t position() const { return at_; }
    int tStates = 0;

    int bit()
    {
        tStates += cost::Bit;
        if (bitsLeft_ == 0) {
            current_ = byte();
            bitsLeft_ = 8;
            tStates += cost::NewBitByte;
        }
        --bitsLeft_;
        return (current_ >> bitsLeft_) & 1;
    }

    std::uint8_t byte()
    {
        if (at_ >= stream_.size()) {
            fail("the stream ends early");
            return 0;
        }
        return stream_[at_++];
    }

    // Interlaced Elias gamma, as the decoder's Gamma routine reads it.
    int gamma()
    {
        tStates += cost::GammaFixed;
        int n = 1;
        while (bit() == 0 && !failed()) {
            n = n * 2 + bit();
            tStates += cost::GammaPerDataBit;
            if (n > 0xFFFF) {
                fail("a number longer than 16 bits");
                return 0;
            }
        }
        return n;
    }

    // A type code: read bit by bit against the table of the state.
    std::optional<Command> type(After before)
    {
        unsigned bits = 0;
        for (int length = 1; length <= 5 && !failed(); ++length) {
            bits = bits * 2 + static_cast<unsigned>(bit());
            for (int t = 0; t <= static_cast<int>(Command::VideoEnd); ++t) {
                const auto c = static_cast<Command>(t);
                const TypeCode code = typeCode(before, c);
                if (code.length == length && code.bits == bits) {
                    // The bits are counted already; the table has them too.
                    tStates += typeCodeTStates(before, c) - length * cost::Bit;
                    return c;
                }
            }
        }
        fail("a type code the decoder does not know");
        return std::nullopt;
    }

private:
    std::span<const std::uint8_t> stream_;
    std::size_t at_ = 0;
    std::uint8_t current_ = 0;
    int bitsLeft_ = 0;
    std::string error_;
};

}  // namespace

std::optional<DecodedVideo> decodeCompactVideo(std::span<const std::uint8_t> stream, std::string* error)
{
    Reader in(stream);
    DecodedVideo video;
    Screen screen{};
    std::array<bool, ScreenSize> known{};
    int distance = InitialDistance;

    auto fail = [&](const std::string& text) -> std::optional<DecodedVideo> {
        in.fail(text);
        if (error != nullptr) {
            *error = in.error();
        }
        return std::nullopt;
    };

    for (;;) {
        const bool keyFrame = video.frames.empty();
        in.tStates = cost::FrameEntry;
        int p = 0;
        int segments = 1;
        int segmentStart = in.tStates - cost::FrameEntry;
        int longest = 0;
        After before = After::Start;
        bool ended = false;
        for (;;) {
            const std::optional<Command> type = in.type(before);
            if (!type) {
                return fail("bad type code");
            }
            if (*type == Command::VideoEnd) {
                if (before != After::Start || p != 0 || segments != 1) {
                    return fail("the video ends inside a frame");
                }
                ended = true;
                break;
            }
            if (*type == Command::End) {
                const int pause = in.bit();
                if (pause == 0) {
                    in.tStates += cost::FrameComplete;
                    longest = std::max(longest, in.tStates - segmentStart);
                    break;
                }
                in.tStates += cost::Pause;
                longest = std::max(longest, in.tStates - segmentStart);
                segmentStart = in.tStates;
                ++segments;
                before = After::Start;
                continue;
            }
            int d = 0;
            if (*type == Command::Copy) {
                const int size = in.gamma();
                const int ahead = in.bit();
                in.tStates += ahead != 0 ? cost::DistanceAhead : cost::DistanceBack;
                d = ahead != 0 ? -size : size;
                distance = d;
            }
            const int n = in.gamma();
            if (in.failed()) {
                return fail("bad number");
            }
            if (n > ScreenSize - p) {
                return fail("a command runs past the end of the screen");
            }
            switch (*type) {
            case Command::Keep:
                in.tStates += cost::KeepBody;
                for (int k = p; k < p + n; ++k) {
                    if (!known[static_cast<std::size_t>(k)]) {
                        return fail("the key frame keeps what was on the screen");
                    }
                }
                before = After::Keep;
                break;
            case Command::Literal:
                in.tStates += cost::LdirPerByte * n - cost::LdirLess;
                for (int k = p; k < p + n; ++k) {
                    screen[static_cast<std::size_t>(k)] = in.byte();
                    known[static_cast<std::size_t>(k)] = true;
                }
                before = After::Literal;
                break;
            default: {  // copy or repeat
                if (*type == Command::Repeat) {
                    d = distance;
                }
                in.tStates += cost::CopyBody + cost::LdirPerByte * n - cost::LdirLess;
                if (p - d < 0 || p + n - 1 - d >= ScreenSize) {
                    return fail("a copy reaches outside the screen");
                }
                for (int k = p; k < p + n; ++k) {
                    const auto source = static_cast<std::size_t>(k - d);
                    if (!known[source]) {
                        return fail("the key frame copies what was on the screen");
                    }
                    screen[static_cast<std::size_t>(k)] = screen[source];
                    known[static_cast<std::size_t>(k)] = true;
                }
                before = After::Copy;
                break;
            }
            }
            p += n;
            if (in.failed()) {
                return fail("bad literal");
            }
        }
        if (in.failed()) {
            return fail("bad stream");
        }
        if (ended) {
            if (keyFrame) {
                return fail("the video has no frame");
            }
            break;
        }
        if (keyFrame && p < ScreenSize) {
            return fail("the key frame leaves bytes as they were on the screen");
        }
        video.frames.push_back(screen);
        video.tStates.push_back(in.tStates);
        video.segments.push_back(segments);
        video.longestSegment.push_back(longest);
    }
    video.length = in.position();
    return video;
}

}  // namespace zoetra::compact
