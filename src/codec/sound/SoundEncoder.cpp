#include "codec/sound/SoundEncoder.h"

#include "codec/sound/SoundCost.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <optional>

namespace zoetra::sound {

namespace {

constexpr double Pi = std::numbers::pi;

// The band the encoder matches: below LowCut a difference costs nothing
// (earphones do not carry it), and the input is low-passed at half the
// level's rate, with a filter LowPassSpan output samples long on each side.
constexpr double LowCutHz = 100.0;
constexpr int LowPassSpan = 24;
// The loudest part of the sound takes this share of the pulses' range.
constexpr double Headroom = 0.95;
// Code sequences kept open at each sample, for 2-bit and 4-bit codes.
constexpr int Paths2 = 256;
constexpr int Paths4 = 32;

// A windowed sinc (Blackman): a low-pass at `cutoff` cycles a sample,
// 2 * half + 1 taps, its sum 1.
std::vector<double> lowPass(double cutoff, int half)
{
    std::vector<double> taps(static_cast<std::size_t>(2 * half + 1));
    double sum = 0.0;
    for (int i = -half; i <= half; ++i) {
        const double x = static_cast<double>(i);
        const double sinc = i == 0 ? 2.0 * cutoff : std::sin(2.0 * Pi * cutoff * x) / (Pi * x);
        const double phase = Pi * x / (half + 1);
        const double window = 0.42 + 0.5 * std::cos(phase) + 0.08 * std::cos(2.0 * phase);
        taps[static_cast<std::size_t>(i + half)] = sinc * window;
        sum += sinc * window;
    }
    for (double& tap : taps) {
        tap /= sum;
    }
    return taps;
}

// Five symmetric taps that undo, below 0.47 of the rate, the fall of a step
// a sample long (sin(pi f) / (pi f) at f cycles a sample): the pulses are
// heard as such steps, and the encoder lifts the top of the band by as much
// as they lower it. Least squares over the band.
std::array<double, 5> stepLift()
{
    double a[3][3] = {};
    double b[3] = {};
    for (int k = 1; k <= 200; ++k) {
        const double f = 0.47 * k / 200.0;
        const double w = 2.0 * Pi * f;
        const double fall = std::sin(Pi * f) / (Pi * f);
        const double row[3] = {fall, 2.0 * std::cos(w) * fall, 2.0 * std::cos(2.0 * w) * fall};
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                a[i][j] += row[i] * row[j];
            }
            b[i] += row[i];
        }
    }
    for (int i = 0; i < 3; ++i) {
        for (int j = i + 1; j < 3; ++j) {
            const double f = a[j][i] / a[i][i];
            for (int k = 0; k < 3; ++k) {
                a[j][k] -= f * a[i][k];
            }
            b[j] -= f * b[i];
        }
    }
    double x[3] = {};
    for (int i = 2; i >= 0; --i) {
        double s = b[i];
        for (int k = i + 1; k < 3; ++k) {
            s -= a[i][k] * x[k];
        }
        x[i] = s / a[i][i];
    }
    return {x[2], x[1], x[0], x[1], x[2]};
}

// The lines' time low for a pulse of `count`, in T-states.
double pulseTStates(const SoundLevel& level, int count)
{
    return cost::StartCount - cost::StartLines + static_cast<double>(count) * level.countTStates + cost::EndLines;
}

struct Path {
    std::int32_t level;
    std::int32_t change;
    std::int32_t step;
    std::int32_t node;  // in the tree of codes; -1 before the first
    double error;
    double highPassed;  // the error's high-passed value
    double lastError;
};

struct Child {
    Path path;
    std::int32_t parent;
    std::uint8_t code;
};

struct Node {
    std::int32_t parent;
    std::uint8_t code;
};

// The codes of the paths' ancestry; nodes no path leads to are dropped now
// and then, so the tree keeps about one node a sample.
class CodeTree {
public:
    std::int32_t add(std::int32_t parent, std::uint8_t code)
    {
        nodes_.push_back({parent, code});
        return static_cast<std::int32_t>(nodes_.size() - 1);
    }

    void prune(std::vector<Path>& paths)
    {
        if (nodes_.size() < limit_) {
            return;
        }
        std::vector<std::int32_t> map(nodes_.size(), -2);
        for (const Path& path : paths) {
            for (std::int32_t n = path.node; n >= 0 && map[static_cast<std::size_t>(n)] == -2;
                 n = nodes_[static_cast<std::size_t>(n)].parent) {
                map[static_cast<std::size_t>(n)] = -1;
            }
        }
        std::vector<Node> kept;
        kept.reserve(nodes_.size() / 4);
        for (std::size_t i = 0; i < nodes_.size(); ++i) {
            if (map[i] == -1) {
                map[i] = static_cast<std::int32_t>(kept.size());
                Node node = nodes_[i];
                node.parent = node.parent >= 0 ? map[static_cast<std::size_t>(node.parent)] : -1;
                kept.push_back(node);
            }
        }
        for (Path& path : paths) {
            path.node = path.node >= 0 ? map[static_cast<std::size_t>(path.node)] : -1;
        }
        nodes_.swap(kept);
        limit_ = std::max<std::size_t>(limit_, nodes_.size() * 2);
    }

    std::vector<std::uint8_t> codes(std::int32_t last, std::size_t count) const
    {
        std::vector<std::uint8_t> codes(count);
        for (std::size_t i = count; i-- > 0;) {
            codes[i] = nodes_[static_cast<std::size_t>(last)].code;
            last = nodes_[static_cast<std::size_t>(last)].parent;
        }
        return codes;
    }

private:
    std::vector<Node> nodes_;
    std::size_t limit_ = 1 << 22;
};

}  // namespace

std::vector<float> soundAtLevelRate(std::span<const float> samples, const SoundLevel& level)
{
    const int ticks = level.ticks;
    const int half = LowPassSpan * ticks;
    const std::vector<double> taps = lowPass(0.5 / ticks, half);
    const auto count = static_cast<std::size_t>(samplesFor(level, static_cast<long long>(samples.size())));
    std::vector<float> out(count);
    const auto size = static_cast<long long>(samples.size());
    double mean = 0.0;
    for (std::size_t n = 0; n < count; ++n) {
        const long long centre = static_cast<long long>(n) * ticks;
        double sum = 0.0;
        const long long from = std::max(0LL, centre - half);
        const long long to = std::min(size - 1, centre + half);
        for (long long i = from; i <= to; ++i) {
            const float sample = samples[static_cast<std::size_t>(i)];
            if (std::isfinite(sample)) {
                sum += taps[static_cast<std::size_t>(i - centre + half)] * sample;
            }
        }
        out[n] = static_cast<float>(sum);
        mean += sum;
    }
    // Without its DC (a high-pass would turn the bass a little late).
    mean /= static_cast<double>(std::max<std::size_t>(count, 1));
    for (float& sample : out) {
        sample = static_cast<float>(sample - mean);
    }
    return out;
}

namespace {

// What each pulse is to be, in T-states of the lines low: the sound with
// its top lifted, its loudest part at Headroom of the pulses' range.
std::vector<double> pulseTargets(const std::vector<float>& sound, const SoundLevel& level)
{
    const std::array<double, 5> lift = stepLift();
    const std::size_t count = sound.size();
    std::vector<double> target(count);
    double peak = 0.0;
    for (std::size_t n = 0; n < count; ++n) {
        double sum = 0.0;
        for (int k = -2; k <= 2; ++k) {
            const long long i = static_cast<long long>(n) + k;
            if (i >= 0 && i < static_cast<long long>(count)) {
                sum += lift[static_cast<std::size_t>(k + 2)] * sound[static_cast<std::size_t>(i)];
            }
        }
        target[n] = sum;
        peak = std::max(peak, std::abs(sum));
    }
    const double shortest = pulseTStates(level, level.minCount);
    const double longest = pulseTStates(level, level.maxCount);
    const double gain = peak > 0.0 ? Headroom * (longest - shortest) / 2.0 / peak : 0.0;
    for (double& t : target) {
        t = (shortest + longest) / 2.0 + gain * t;
    }
    return target;
}

// The codes whose pulses come closest to the targets, the error high-passed:
// `keep` code sequences followed at once, each sample's children of them all
// cut back to the best. Nothing when `progress` stops it.
std::optional<std::vector<std::uint8_t>> searchCodes(const std::vector<double>& target, const SoundLevel& level,
                                                     int keep, const std::function<bool(double)>& progress)
{
    std::array<double, 256> heard{};
    for (int high = 0; high < 256; ++high) {
        heard[static_cast<std::size_t>(high)] = pulseTStates(level, pulseCount(level, high * 256 - 32768));
    }
    const int codes = 1 << level.bits;
    const int sizes = sizesPerStep(level.bits);
    const std::span<const StepEntry> table = stepTable(level.bits);
    const double lowCut = std::exp(-2.0 * Pi * LowCutHz / level.samplesPerSecond());
    const std::size_t count = target.size();

    CodeTree tree;
    std::vector<Path> paths{Path{0, 0, 0, -1, 0.0, 0.0, 0.0}};
    std::vector<Path> next;
    std::vector<Child> children;
    children.reserve(static_cast<std::size_t>(keep * codes));
    for (std::size_t n = 0; n < count; ++n) {
        if (progress && n % 4096 == 0 && !progress(static_cast<double>(n) / static_cast<double>(count))) {
            return std::nullopt;
        }
        children.clear();
        for (std::size_t p = 0; p < paths.size(); ++p) {
            const Path& from = paths[p];
            for (int code = 0; code < codes; ++code) {
                const StepEntry& entry = table[static_cast<std::size_t>(from.step * sizes + (code & (sizes - 1)))];
                const std::int32_t change = changeBeforeWrap(from.change, entry, (code & sizes) != 0);
                if (change < -32768 || change > 32767) {
                    continue;  // the player's change would wrap
                }
                Child child;
                child.path.change = change;
                child.path.level = heldLevel(from.level, change);
                child.path.step = entry.next;
                const double error = target[n] - heard[static_cast<std::size_t>((child.path.level + 32768) >> 8)];
                child.path.highPassed = lowCut * (from.highPassed + error - from.lastError);
                child.path.lastError = error;
                child.path.error = from.error + child.path.highPassed * child.path.highPassed;
                child.parent = static_cast<std::int32_t>(p);
                child.code = static_cast<std::uint8_t>(code);
                children.push_back(child);
            }
        }
        if (children.size() > static_cast<std::size_t>(keep)) {
            std::nth_element(children.begin(), children.begin() + keep, children.end(),
                             [](const Child& a, const Child& b) { return a.path.error < b.path.error; });
            children.resize(static_cast<std::size_t>(keep));
        }
        next.clear();
        for (const Child& child : children) {
            Path path = child.path;
            path.node = tree.add(paths[static_cast<std::size_t>(child.parent)].node, child.code);
            next.push_back(path);
        }
        paths.swap(next);
        tree.prune(paths);
    }
    if (count == 0) {
        return std::vector<std::uint8_t>{};
    }
    const Path& best =
        *std::min_element(paths.begin(), paths.end(), [](const Path& a, const Path& b) { return a.error < b.error; });
    return tree.codes(best.node, count);
}

std::vector<std::uint8_t> packed(const SoundLevel& level, const std::vector<std::uint8_t>& codes)
{
    const std::size_t count = codes.size();
    std::vector<std::uint8_t> stream{static_cast<std::uint8_t>(level.ticks), static_cast<std::uint8_t>(level.bits),
                                     level.timer2Setting(), 0};
    for (int i = 0; i < 4; ++i) {
        stream.push_back(static_cast<std::uint8_t>(count >> (8 * i)));
    }
    stream.resize(static_cast<std::size_t>(streamBytes(level, static_cast<long long>(count))), 0);
    const auto perByte = static_cast<std::size_t>(8 / level.bits);
    for (std::size_t k = 0; k < count; ++k) {
        const int shift = 8 - level.bits * static_cast<int>(k % perByte + 1);
        stream[HeaderBytes + k / perByte] |= static_cast<std::uint8_t>(codes[k] << shift);
    }
    return stream;
}

}  // namespace

std::vector<std::uint8_t> encodeSound(std::span<const float> samples, const SoundLevel& level,
                                      const std::function<bool(double)>& progress, const EncoderOptions& options)
{
    const std::vector<double> target = pulseTargets(soundAtLevelRate(samples, level), level);
    const int keep = options.paths > 0 ? options.paths : level.bits == 2 ? Paths2 : Paths4;
    const std::optional<std::vector<std::uint8_t>> codes = searchCodes(target, level, keep, progress);
    if (!codes) {
        return {};
    }
    if (progress) {
        progress(1.0);
    }
    return packed(level, *codes);
}

}  // namespace zoetra::sound
