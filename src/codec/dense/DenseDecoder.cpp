#include "codec/dense/DenseDecoder.h"

#include "codec/compact/CompactDecoder.h"
#include "codec/dense/DenseBlocks.h"
#include "codec/dense/DensePacing.h"

namespace zoetra::dense {

namespace {

class Decoder {
public:
    explicit Decoder(std::span<const std::uint8_t> stream) : stream_(stream) { start(); }

    bool failed() const { return !error_.empty(); }
    const std::string& error() const { return error_; }
    std::size_t position() const { return at_; }

    int tStates = 0;
    std::array<std::uint8_t, ContextCount> contexts = [] {
        std::array<std::uint8_t, ContextCount> all{};
        all.fill(InitialState);
        return all;
    }();

    // The coder on the next byte: the code's high byte, no bits waiting.
    void start()
    {
        range_ = 0x80;
        code_ = byte();
        bitsLeft_ = 0;
        doublings_ = 0;
    }

    int decide(int context, Kind where = Kind::OfContext)
    {
        std::uint8_t& state = contexts[static_cast<std::size_t>(context)];
        const Kind kind = where == Kind::OfContext ? decisionKind(context) : where;
        const std::uint32_t k = state & 0x7F;
        const int mps = state >> 7;
        const std::uint32_t bottom = range_ - k;
        bool isMps;
        Way way;
        if (code_ < bottom) {
            range_ = bottom;
            if (bottom >= 0x80) {
                tStates += decisionTStates(kind, Way::Fast, Update::AfterMps, 0, 0);
                return mps;
            }
            isMps = bottom >= k;
            way = Way::NarrowBottom;
        } else {
            code_ -= bottom;
            range_ = k;
            isMps = bottom < k;
            way = bottom >= 0x80 ? Way::Wide : Way::NarrowTop;
        }
        const Update update = isMps ? Update::AfterMps
            : lpsSizeIndex(static_cast<int>(k)) == 0 ? Update::AfterLpsSwap
                                                     : Update::AfterLps;
        state = isMps ? nextAfterMps(state) : nextAfterLps(state);
        int doublings = 0;
        int newBytes = 0;
        while (range_ < 0x80) {
            range_ <<= 1;
            if (bitsLeft_ == 0) {
                current_ = byte();
                bitsLeft_ = 8;
                ++newBytes;
            }
            --bitsLeft_;
            code_ = ((code_ << 1) | ((current_ >> bitsLeft_) & 1u)) & 0xFF;
            ++doublings;
        }
        tStates += decisionTStates(kind, way, update, doublings, newBytes);
        return isMps ? mps : 1 - mps;
    }

    // Bytes sent as they are, their count first (two bytes, low first).
    std::vector<std::uint8_t> countedBytes()
    {
        const int count = byte() | byte() << 8;
        std::vector<std::uint8_t> bytes;
        for (int i = 0; i < count && !failed(); ++i) {
            bytes.push_back(byte());
        }
        return bytes;
    }

    std::uint8_t byte()
    {
        if (at_ >= stream_.size()) {
            if (error_.empty()) {
                error_ = "the stream ends early (stream byte " + std::to_string(at_) + ")";
            }
            return 0;
        }
        return stream_[at_++];
    }

private:
    std::span<const std::uint8_t> stream_;
    std::size_t at_ = 0;
    std::string error_;
    std::uint32_t range_ = 0x80;  // the interval's high byte
    std::uint32_t code_ = 0;      // the code's high byte
    std::uint8_t current_ = 0;
    int bitsLeft_ = 0;
    int doublings_ = 0;
};

}  // namespace

namespace {

// One frame as it was read: the ways it went and what it took.
struct FrameRead {
    int pixels = 0;
    int changed = 0;
    bool raw = false;
    bool compact = false;
    bool rawRows = false;
    bool copyRows = false;
    bool keptRows = false;
    bool solidBlocks = false;
    bool packed = false;
    bool large = false;
};

// The three kinds of frame, read after their decisions (raw, compact, or
// neither). The compact and the coded frame return why the player would not
// take them, or nothing.
void readRawFrame(Decoder& in, Screen& now, BlockFlags& flags, FrameRead& frame)
{
    frame.raw = true;
    for (auto& b : now) {
        b = in.byte();
    }
    in.start();
    in.tStates += rawFrameTStates(now);
    flags.fill(1);
    frame.changed = BlockCount;
}

std::string readCompactFrame(Decoder& in, Screen& now, BlockFlags& flags, FrameRead& frame)
{
    frame.compact = true;
    const std::vector<std::uint8_t> bytes = in.countedBytes();
    const auto count = static_cast<int>(bytes.size());
    in.start();
    std::string why;
    const std::optional<int> commands =
        count > CompactFrameBytes ? std::nullopt : compact::decodeAloneFrame(bytes, now, cost::CompactPause, &why);
    if (!commands && !in.failed()) {
        return "is no compact frame the player takes" +
            (why.empty() ? std::string(" (") + std::to_string(count) + " bytes)" : ": " + why);
    }
    in.tStates += compactFrameTStates(count, commands.value_or(0), now);
    flags.fill(1);
    frame.changed = BlockCount;
    return {};
}

std::string readCodedFrame(Decoder& in, Screen& now, BlockFlags& flags, FrameRead& frame)
{
    frame.large = in.decide(LargeContext) == 1;
    const Screen before = now;
    frame.rawRows = in.decide(RawRowsContext) == 1;
    frame.copyRows = in.decide(CopyRowsContext) == 1;
    frame.keptRows = frame.copyRows && in.decide(KeptRowsContext) == 1;
    frame.solidBlocks = !frame.rawRows && in.decide(SolidBlocksContext) == 1;
    in.tStates += frameStartTStates(frame.large, frame.rawRows, frame.copyRows, frame.keptRows, frame.solidBlocks);
    std::vector<std::uint8_t> rows;
    if (frame.rawRows) {
        frame.packed = in.decide(PackedContext) == 1;
        rows = in.countedBytes();
        in.start();
        in.tStates += rawRowsTStates(frame.packed, static_cast<int>(rows.size()));
    }
    RowReader reader(rows, frame.packed);
    frame.pixels = codeBlocks(
        now, now, flags, frame.rawRows, frame.copyRows, frame.keptRows, frame.solidBlocks,
        [&](int context, int, Kind kind = Kind::OfContext) {
            const int value = in.decide(context, kind);
            if (context >= BlockContext && context < BlockContext + BlockContexts && value == 1) {
                ++frame.changed;
            }
            return value;
        },
        [&](std::uint8_t) { return reader.next(in.tStates); },
        [&](int tStates) { in.tStates += tStates; });
    if (!reader.exact() && !in.failed()) {
        return "has " + std::to_string(rows.size()) + " bytes of raw rows, not what its rows take";
    }
    in.tStates += cost::FrameEnd;
    // The player waits for the room of records larger than that only where
    // the frame says so.
    if (!frame.large && !in.failed() && largeRecords(blockRecordBytes(before, now))) {
        return "takes more of the player's ring than it says";
    }
    return {};
}

}  // namespace

std::optional<DecodedDenseVideo> decodeDenseVideo(std::span<const std::uint8_t> stream, std::string* error)
{
    DecodedDenseVideo video;
    Decoder in(stream);
    Screen now{};
    BlockFlags flags{};
    while (!in.failed()) {
        in.tStates = 0;
        if (in.decide(EndContext) == 1) {
            video.endTStates = in.tStates;
            break;
        }
        FrameRead frame;
        std::string problem;
        if (in.decide(RawContext) == 1) {
            readRawFrame(in, now, flags, frame);
        } else if (in.decide(CompactContext) == 1) {
            problem = readCompactFrame(in, now, flags, frame);
        } else {
            problem = readCodedFrame(in, now, flags, frame);
        }
        if (!problem.empty()) {
            if (error != nullptr) {
                *error = "frame " + std::to_string(video.frames.size()) + " " + problem;
            }
            return std::nullopt;
        }
        if (in.failed()) {
            break;
        }
        video.frames.push_back(now);
        video.tStates.push_back(in.tStates);
        video.changedBlocks.push_back(frame.changed);
        video.raw.push_back(frame.raw);
        video.compact.push_back(frame.compact);
        video.large.push_back(frame.large);
        video.rawRows.push_back(frame.rawRows);
        video.copyRows.push_back(frame.copyRows);
        video.keptRows.push_back(frame.keptRows);
        video.solidBlocks.push_back(frame.solidBlocks);
        video.packed.push_back(frame.packed);
        video.pixels.push_back(frame.pixels);
        video.ends.push_back(in.position());
    }
    if (in.failed()) {
        if (error != nullptr) {
            *error = in.error();
        }
        return std::nullopt;
    }
    // The flush of the end leaves the decoder at the stream's end.
    video.length = in.position();
    return video;
}

std::optional<zoetra::DecodedVideo> decodeDenseStream(std::span<const std::uint8_t> stream, std::string* error)
{
    const auto video = decodeDenseVideo(stream, error);
    if (!video) {
        return std::nullopt;
    }
    zoetra::DecodedVideo seam;
    seam.frames = video->frames;
    seam.tStates = video->tStates;
    seam.length = video->length;
    seam.segments.assign(video->frames.size(), 1);
    seam.longestSegment = video->tStates;
    return seam;
}

}  // namespace zoetra::dense
