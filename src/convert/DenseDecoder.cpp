#include "convert/DenseDecoder.h"

#include <algorithm>

namespace zoetra::dense {

namespace {

class Decoder {
public:
    explicit Decoder(std::span<const std::uint8_t> stream) : stream_(stream) { start(); }

    bool failed() const { return !error_.empty(); }
    const std::string& error() const { return error_; }
    std::size_t position() const { return at_; }

    // The T-states of the current stretch of work; the caller books them.
    int tStates = 0;
    std::array<std::uint8_t, ContextCount> contexts = [] {
        std::array<std::uint8_t, ContextCount> all{};
        all.fill(InitialState);
        return all;
    }();

    void start()
    {
        range_ = 0x8000;
        offset_ = static_cast<std::uint32_t>(byte()) << 8;
        offset_ |= byte();
        bitsLeft_ = 0;
    }

    int decide(int context)
    {
        std::uint8_t& state = contexts[static_cast<std::size_t>(context)];
        const std::uint32_t q = static_cast<std::uint32_t>(state & 0x7F) << 8;
        const int mps = state >> 7;
        const std::uint32_t top = range_ - q;
        bool isMps;
        if (offset_ >= q) {
            offset_ -= q;
            range_ = top;
            if (top >= 0x8000) {
                tStates += cost::Decision;
                return mps;
            }
            isMps = top >= q;
        } else {
            range_ = q;
            isMps = top < 0x8000 && top < q;
        }
        state = isMps ? nextAfterMps(state) : nextAfterLps(state);
        tStates += cost::Decision + cost::DecisionSlow;
        while (range_ < 0x8000) {
            range_ <<= 1;
            tStates += cost::Shift;
            if (bitsLeft_ == 0) {
                current_ = byte();
                bitsLeft_ = 8;
                tStates += cost::NewByte;
            }
            --bitsLeft_;
            offset_ = (offset_ << 1) | ((current_ >> bitsLeft_) & 1u);
        }
        return isMps ? mps : 1 - mps;
    }

    // The flush: the rest of the bit byte is padding.
    void flush() { bitsLeft_ = 0; }

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
    std::uint32_t range_ = 0x8000;
    std::uint32_t offset_ = 0;
    std::uint8_t current_ = 0;
    int bitsLeft_ = 0;
};

}  // namespace

std::optional<DecodedVideo> decodeDenseVideo(std::span<const std::uint8_t> stream, std::string* error)
{
    DecodedVideo video;
    Decoder in(stream);
    Screen before{};
    BlockFlags blocks;
    blocks.fill(Uniform);
    int frame = 0;
    bool newPiece = false;
    int sincePause = 0;

    auto book = [&] {
        if (video.work.empty() || video.work.back().frame != frame || newPiece) {
            video.work.push_back({frame, 0, newPiece});
            newPiece = false;
        }
        video.work.back().tStates += in.tStates;
        in.tStates = 0;
    };
    auto pause = [&] {
        if (in.decide(PauseContext + pauseContext(sincePause)) == 1) {
            sincePause = 0;
            book();
            newPiece = true;
            in.tStates += cost::Pause;
        }
    };

    while (!in.failed()) {
        pause();
        if (in.decide(EndContext) == 1) {
            book();
            break;
        }
        Screen now;
        int pixels = 0;
        if (in.decide(RawContext) == 1) {
            in.flush();
            for (auto& b : now) {
                b = in.byte();
            }
            in.start();
            in.tStates += cost::RawFrame;
            for (int block = 0; block < BlockCount; ++block) {
                blocks[static_cast<std::size_t>(block)] = blockFlags(now, block, true);
            }
            video.raw.push_back(true);
        } else {
            const bool halves = in.decide(HalvesContext) == 1;
            in.tStates += cost::Frame;
            now = before;
            for (int block = 0; block < BlockCount && !in.failed(); ++block) {
                const int changed = in.decide(BlockContext + blockContext(blocks, block));
                in.tStates += cost::Block;
                if (changed == 1) {
                    pause();
                    in.tStates += cost::ChangedBlock;
                    ++sincePause;
                    const std::uint8_t flagsBefore = blocks[static_cast<std::size_t>(block)];
                    const int column = block % BlockColumns;
                    const int top = (block / BlockColumns) * 8;
                    int topChanged = 0;
                    for (int half = 0; half < 2; ++half) {
                        const int halfChanged = !halves ? 1
                            : half == 0 || topChanged == 1 ? in.decide(HalfContext + halfContext(half, flagsBefore))
                                                           : 1;
                        topChanged = halfChanged;
                        if (halfChanged == 0) {
                            continue;
                        }
                        in.tStates += halves ? cost::Half : 0;
                        for (int y = top + 4 * half; y < top + 4 * half + 4; ++y) {
                            pixels += codeRow(
                                now, before, now, column, y, [&](int context, int) { return in.decide(context); },
                                [&](int tStates) { in.tStates += tStates; });
                        }
                    }
                }
                blocks[static_cast<std::size_t>(block)] = blockFlags(now, block, changed == 1);
            }
            video.raw.push_back(false);
        }
        book();
        video.pixels.push_back(pixels);
        video.frames.push_back(now);
        before = now;
        ++frame;
    }
    if (in.failed()) {
        if (error != nullptr) {
            *error = in.error();
        }
        return std::nullopt;
    }
    in.flush();
    video.length = in.position();
    video.tStates.assign(video.frames.size(), 0);
    for (const Work& w : video.work) {
        if (w.frame < static_cast<int>(video.tStates.size())) {
            video.tStates[static_cast<std::size_t>(w.frame)] += w.tStates;
        }
    }
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
    const std::size_t frames = video->frames.size();
    seam.segments.assign(frames, 0);
    seam.longestSegment.assign(frames, 0);
    // Each piece's total, then the pieces each frame's work falls in.
    std::vector<int> pieceOf(video->work.size(), 0);
    std::vector<int> pieceTotal;
    for (std::size_t i = 0; i < video->work.size(); ++i) {
        if (pieceTotal.empty() || video->work[i].startsPiece) {
            pieceTotal.push_back(0);
        }
        pieceOf[i] = static_cast<int>(pieceTotal.size()) - 1;
        pieceTotal.back() += video->work[i].tStates;
    }
    std::vector<int> lastPiece(frames, -1);
    for (std::size_t i = 0; i < video->work.size(); ++i) {
        const auto frame = static_cast<std::size_t>(video->work[i].frame);
        if (frame >= frames || lastPiece[frame] == pieceOf[i]) {
            continue;
        }
        lastPiece[frame] = pieceOf[i];
        ++seam.segments[frame];
        seam.longestSegment[frame] =
            std::max(seam.longestSegment[frame], pieceTotal[static_cast<std::size_t>(pieceOf[i])]);
    }
    return seam;
}

}  // namespace zoetra::dense
