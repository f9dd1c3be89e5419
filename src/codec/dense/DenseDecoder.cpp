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
        if (in.decide(RawContext) == 1) {
            raw = true;
            for (auto& b : now) {
                b = in.byte();
            }
            in.start();
            in.tStates += cost::RawFrameStart + cost::RawFrame + allRecordsTStates(now) + cost::FrameEnd;
            flags.fill(1);
            changed = BlockCount;
        } else if (in.decide(CompactContext) == 1) {
            compact = true;
            const std::vector<std::uint8_t> bytes = in.countedBytes();
            const auto count = static_cast<int>(bytes.size());
            in.start();
            std::string why;
            const std::optional<int> commands = count > CompactFrameBytes
                ? std::nullopt
                : compact::decodeAloneFrame(bytes, now, cost::CompactPause, &why);
            if (!commands && !in.failed()) {
                if (error != nullptr) {
                    *error = "frame " + std::to_string(video.frames.size()) + " is no compact frame the player takes" +
                        (why.empty() ? std::string(" (") + std::to_string(count) + " bytes)" : ": " + why);
                }
                return std::nullopt;
            }
            in.tStates += compactFrameTStates(count, commands.value_or(0), now);
            flags.fill(1);
            changed = BlockCount;
        } else {
            large = in.decide(LargeContext) == 1;
            const Screen before = now;
            rawRows = in.decide(RawRowsContext) == 1;
            copyRows = in.decide(CopyRowsContext) == 1;
            keptRows = copyRows && in.decide(KeptRowsContext) == 1;
            solidBlocks = !rawRows && in.decide(SolidBlocksContext) == 1;
            in.tStates += frameStartTStates(large, rawRows, copyRows, keptRows, solidBlocks);
            std::vector<std::uint8_t> rows;
            if (rawRows) {
                packed = in.decide(PackedContext) == 1;
                rows = in.countedBytes();
                in.start();
                in.tStates += rawRowsTStates(packed, static_cast<int>(rows.size()));
            }
            RowReader reader(rows, packed);
            pixels = codeBlocks(
                now, now, flags, rawRows, copyRows, keptRows, solidBlocks,
                [&](int context, int, Kind kind = Kind::OfContext) {
                    const int value = in.decide(context, kind);
                    if (context >= BlockContext && context < BlockContext + BlockContexts && value == 1) {
                        ++changed;
                    }
                    return value;
                },
                [&](std::uint8_t) { return reader.next(in.tStates); },
                [&](int tStates) { in.tStates += tStates; });
            if (!reader.exact() && !in.failed()) {
                if (error != nullptr) {
                    *error = "frame " + std::to_string(video.frames.size()) + " has " + std::to_string(rows.size()) +
                        " bytes of raw rows, not what its rows take";
                }
                return std::nullopt;
            }
            in.tStates += cost::FrameEnd;
            // The player waits for the room of records larger than that
            // only where the frame says so.
            if (!large && !in.failed() && largeRecords(blockRecordBytes(before, now))) {
                if (error != nullptr) {
                    *error = "frame " + std::to_string(video.frames.size()) +
                        " takes more of the player's ring than it says";
                }
                return std::nullopt;
            }
        }
        if (in.failed()) {
            break;
        }
        video.frames.push_back(now);
        video.tStates.push_back(in.tStates);
        video.changedBlocks.push_back(changed);
        video.raw.push_back(raw);
        video.compact.push_back(compact);
        video.large.push_back(large);
        video.rawRows.push_back(rawRows);
        video.copyRows.push_back(copyRows);
        video.keptRows.push_back(keptRows);
        video.solidBlocks.push_back(solidBlocks);
        video.packed.push_back(packed);
        video.pixels.push_back(pixels);
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
