#include "codec/compact/CompactDecoder.h"

#include "codec/compact/CompactCost.h"

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

// One frame's commands from the cursor's start, into `screen`: up to its
// end (Complete), or the video's end where a frame starts (VideoEnd), or a
// failure (in.failed()). `known` marks the bytes the stream has set (the key
// frame may use no other); null when every byte counts. Each pause takes
// `pauseTStates`.
enum class FrameEnd { Complete, VideoEnd, Failed };
struct FrameRead {
    FrameEnd end = FrameEnd::Failed;
    int segments = 1;
    int longest = 0;
};

FrameRead readFrame(Reader& in, Screen& screen, std::array<bool, ScreenSize>* known, int& distance, int pauseTStates)
{
    FrameRead read;
    const auto failed = [&](const std::string& text) {
        in.fail(text);
        read.end = FrameEnd::Failed;
        return read;
    };
    const auto isKnown = [&](int k) { return known == nullptr || (*known)[static_cast<std::size_t>(k)]; };
    int p = 0;
    int segmentStart = in.tStates - cost::FrameEntry;
    After before = After::Start;
    for (;;) {
        const std::optional<Command> type = in.type(before);
        if (!type) {
            return failed("bad type code");
        }
        if (*type == Command::VideoEnd) {
            if (before != After::Start || p != 0 || read.segments != 1) {
                return failed("the video ends inside a frame");
            }
            read.end = FrameEnd::VideoEnd;
            return read;
        }
        if (*type == Command::End) {
            const int pause = in.bit();
            if (pause == 0) {
                in.tStates += cost::FrameComplete;
                read.longest = std::max(read.longest, in.tStates - segmentStart);
                if (known != nullptr && p < ScreenSize && !in.failed()) {
                    return failed("the key frame leaves bytes as they were on the screen");
                }
                read.end = in.failed() ? FrameEnd::Failed : FrameEnd::Complete;
                return read;
            }
            in.tStates += pauseTStates;
            read.longest = std::max(read.longest, in.tStates - segmentStart);
            segmentStart = in.tStates;
            ++read.segments;
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
            return failed("bad number");
        }
        if (n > ScreenSize - p) {
            return failed("a command runs past the end of the screen");
        }
        switch (*type) {
        case Command::Keep:
            in.tStates += cost::KeepBody;
            for (int k = p; k < p + n; ++k) {
                if (!isKnown(k)) {
                    return failed("the key frame keeps what was on the screen");
                }
            }
            before = After::Keep;
            break;
        case Command::Literal:
            in.tStates += cost::LdirPerByte * n - cost::LdirLess;
            for (int k = p; k < p + n; ++k) {
                screen[static_cast<std::size_t>(k)] = in.byte();
                if (known != nullptr) {
                    (*known)[static_cast<std::size_t>(k)] = true;
                }
            }
            before = After::Literal;
            break;
        default: {  // copy or repeat
            if (*type == Command::Repeat) {
                d = distance;
            }
            in.tStates += cost::CopyBody + cost::LdirPerByte * n - cost::LdirLess;
            if (p - d < 0 || p + n - 1 - d >= ScreenSize) {
                return failed("a copy reaches outside the screen");
            }
            for (int k = p; k < p + n; ++k) {
                const auto source = static_cast<std::size_t>(k - d);
                if (!isKnown(k - d)) {
                    return failed("the key frame copies what was on the screen");
                }
                screen[static_cast<std::size_t>(k)] = screen[source];
                if (known != nullptr) {
                    (*known)[static_cast<std::size_t>(k)] = true;
                }
            }
            before = After::Copy;
            break;
        }
        }
        p += n;
        if (in.failed()) {
            return failed("bad literal");
        }
    }
}

}  // namespace

std::optional<DecodedVideo> decodeCompactVideo(std::span<const std::uint8_t> stream, std::string* error)
{
    Reader in(stream);
    DecodedVideo video;
    Screen screen{};
    std::array<bool, ScreenSize> known{};
    int distance = InitialDistance;

    for (;;) {
        const bool keyFrame = video.frames.empty();
        in.tStates = cost::FrameEntry;
        const FrameRead read = readFrame(in, screen, keyFrame ? &known : nullptr, distance, cost::Pause);
        if (read.end == FrameEnd::Failed || in.failed()) {
            if (error != nullptr) {
                *error = in.error();
            }
            return std::nullopt;
        }
        if (read.end == FrameEnd::VideoEnd) {
            if (keyFrame) {
                in.fail("the video has no frame");
                if (error != nullptr) {
                    *error = in.error();
                }
                return std::nullopt;
            }
            break;
        }
        video.frames.push_back(screen);
        video.tStates.push_back(in.tStates);
        video.segments.push_back(read.segments);
        video.longestSegment.push_back(read.longest);
    }
    video.length = in.position();
    return video;
}

std::optional<int> decodeAloneFrame(std::span<const std::uint8_t> bytes, Screen& screen, int pauseTStates,
                                    std::string* error)
{
    Reader in(bytes);
    int distance = InitialDistance;
    in.tStates = cost::FrameEntry;
    Screen result = screen;
    const FrameRead read = readFrame(in, result, nullptr, distance, pauseTStates);
    if (read.end == FrameEnd::VideoEnd) {
        in.fail("a video end in place of a frame");
    } else if (read.end == FrameEnd::Complete && in.position() != bytes.size()) {
        in.fail("bytes after the frame's end");
    }
    if (in.failed()) {
        if (error != nullptr) {
            *error = in.error();
        }
        return std::nullopt;
    }
    screen = result;
    return in.tStates;
}

}  // namespace zoetra::compact
