#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace zoetra {

// One change of the link port's two lines as the calculator drives them:
// when (in steps of the recording's clock) and which lines it holds low from
// then on (bit 0 the tip, bit 1 the ring; 0 = both released, high).
struct LineEdge {
    std::uint64_t clock = 0;
    std::uint8_t held = 0;

    bool operator==(const LineEdge&) const = default;
};

inline constexpr std::uint8_t LinesReleased = 0;
inline constexpr std::uint8_t BothLinesLow = 3;

// A program's line changes from its start, when both lines are released,
// in time order. Kept compactly, a few bytes an edge: a program that drives
// the lines as an 8-bit PWM at 44 kHz for ten minutes makes 50 million.
class LineEdges {
public:
    // A change at `clock` (not before the last one).
    void add(LineEdge edge)
    {
        const std::uint64_t delta = edge.clock - last_.clock;
        std::uint64_t value = delta << 2 | (edge.held & 3u);
        do {
            const auto byte = static_cast<std::uint8_t>(value & 0x7F);
            value >>= 7;
            bytes_.push_back(static_cast<std::uint8_t>(byte | (value != 0 ? 0x80 : 0)));
        } while (value != 0);
        last_ = {edge.clock, static_cast<std::uint8_t>(edge.held & 3u)};
        ++count_;
    }

    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    // The last change (the lines held at the end); {0, 0} when there is none.
    LineEdge last() const { return last_; }

    // Reads the changes in order.
    class Reader {
    public:
        explicit Reader(const LineEdges& edges) : edges_(&edges) {}
        std::optional<LineEdge> next()
        {
            if (at_ >= edges_->bytes_.size()) {
                return std::nullopt;
            }
            std::uint64_t value = 0;
            for (int shift = 0;; shift += 7) {
                const std::uint8_t byte = edges_->bytes_[at_++];
                value |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
                if ((byte & 0x80) == 0) {
                    break;
                }
            }
            clock_ += value >> 2;
            return LineEdge{clock_, static_cast<std::uint8_t>(value & 3)};
        }

    private:
        const LineEdges* edges_;
        std::size_t at_ = 0;
        std::uint64_t clock_ = 0;
    };
    Reader reader() const { return Reader(*this); }

    std::vector<LineEdge> all() const
    {
        std::vector<LineEdge> edges;
        Reader read = reader();
        while (const std::optional<LineEdge> edge = read.next()) {
            edges.push_back(*edge);
        }
        return edges;
    }

private:
    std::vector<std::uint8_t> bytes_;
    LineEdge last_;
    std::size_t count_ = 0;
};

}  // namespace zoetra
