#include "shared/LineSound.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <numbers>

namespace zoetra {

namespace {

constexpr int Phases = 512;
constexpr double Gain = 0.9;
constexpr double HighPassHz = 5.0;
// The filter passes up to 20 kHz, less at low sample rates.
constexpr double CutOffHz = 20'000.0;
constexpr double MaxCutOff = 0.45;  // of the sample rate

// The band-limited step at offsets -HalfWidth..HalfWidth samples, Phases a
// sample: 0 before, 1 after.
std::vector<float> makeStep(double cutoff)
{
    constexpr int w = LineSound::HalfWidth;
    const int points = 2 * w * Phases;
    std::vector<double> impulse(static_cast<std::size_t>(points) + 1);
    for (int i = 0; i <= points; ++i) {
        const double t = static_cast<double>(i - w * Phases) / Phases;  // in samples
        const double x = 2.0 * cutoff * t;
        const double sinc = x == 0.0 ? 1.0 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x);
        const double u = static_cast<double>(i) / points;  // 0..1 over the window
        const double window =
            0.42 - 0.5 * std::cos(2.0 * std::numbers::pi * u) + 0.08 * std::cos(4.0 * std::numbers::pi * u);
        impulse[static_cast<std::size_t>(i)] = sinc * window;
    }
    std::vector<double> sum(impulse.size());
    double total = 0;
    for (std::size_t i = 1; i < impulse.size(); ++i) {
        total += (impulse[i - 1] + impulse[i]) / 2;
        sum[i] = total;
    }
    std::vector<float> step(sum.size());
    for (std::size_t i = 0; i < sum.size(); ++i) {
        step[i] = static_cast<float>(sum[i] / total);
    }
    return step;
}

// One table per sample rate, made once.
const std::vector<float>& stepTable(int rate)
{
    static std::mutex lock;
    static std::map<int, std::unique_ptr<std::vector<float>>> tables;
    const std::lock_guard<std::mutex> held(lock);
    std::unique_ptr<std::vector<float>>& table = tables[rate];
    if (!table) {
        table = std::make_unique<std::vector<float>>(makeStep(std::min(CutOffHz / rate, MaxCutOff)));
    }
    return *table;
}

double level(std::uint8_t held)
{
    return -0.5 * std::popcount(static_cast<unsigned>(held & 3));
}

}  // namespace

LineSound::LineSound(std::uint64_t clockHz, int sampleRate, std::uint64_t start, std::uint8_t heldAtStart)
    : clockHz_(clockHz),
      rate_(sampleRate),
      start_(start),
      level_(level(heldAtStart)),
      settled_(level_),
      highPass_(std::exp(-2.0 * std::numbers::pi * HighPassHz / sampleRate)),
      lastIn_(level_)
{
}

std::pair<std::int64_t, double> LineSound::position(std::uint64_t clock) const
{
    if (clock < start_) {
        const std::uint64_t before = (start_ - clock) * static_cast<std::uint64_t>(rate_);
        const auto whole = static_cast<std::int64_t>((before + clockHz_ - 1) / clockHz_);
        const std::uint64_t rest = static_cast<std::uint64_t>(whole) * clockHz_ - before;
        return {-whole, static_cast<double>(rest) / static_cast<double>(clockHz_)};
    }
    const std::uint64_t after = (clock - start_) * static_cast<std::uint64_t>(rate_);
    return {static_cast<std::int64_t>(after / clockHz_),
            static_cast<double>(after % clockHz_) / static_cast<double>(clockHz_)};
}

void LineSound::add(LineEdge edge)
{
    const double to = level(edge.held);
    const double step = to - level_;
    level_ = to;
    if (step == 0.0) {
        return;
    }
    const auto [whole, fraction] = position(edge.clock);
    // Samples whole - HalfWidth + 1 .. whole + HalfWidth take part of the
    // step; from whole + HalfWidth + 1 on it is whole.
    const std::int64_t passed = whole + HalfWidth + 1;
    if (passed <= next_) {
        settled_ += step;
        return;
    }
    settling_.emplace_back(passed, step);
    const std::vector<float>& table = stepTable(rate_);
    for (std::int64_t n = std::max(next_, whole - HalfWidth + 1); n < passed; ++n) {
        // The step's value at offset n - (whole + fraction), in table phases.
        const double at = (static_cast<double>(n - whole) - fraction + HalfWidth) * Phases;
        const auto i = static_cast<std::size_t>(at);
        const double part = at - static_cast<double>(i);
        const double value =
            i + 1 < table.size() ? table[i] + (table[i + 1] - table[i]) * part : static_cast<double>(table.back());
        const auto slot = static_cast<std::size_t>(n - next_);
        if (around_.size() <= slot) {
            around_.resize(slot + 1, 0.0);
        }
        around_[slot] += step * value;
    }
}

void LineSound::produce(std::int64_t upTo, std::vector<float>& out)
{
    for (; next_ <= upTo; ++next_) {
        while (!settling_.empty() && settling_.front().first <= next_) {
            settled_ += settling_.front().second;
            settling_.pop_front();
        }
        double value = settled_;
        if (!around_.empty()) {
            value += around_.front();
            around_.pop_front();
        }
        const double filtered = value - lastIn_ + highPass_ * lastOut_;
        lastIn_ = value;
        lastOut_ = filtered;
        out.push_back(static_cast<float>(std::clamp(Gain * filtered, -1.0, 1.0)));
    }
}

void LineSound::renderUntil(std::uint64_t clock, std::vector<float>& out)
{
    produce(position(clock).first - HalfWidth, out);
}

void LineSound::finish(std::uint64_t clock, std::vector<float>& out)
{
    produce(position(clock).first, out);
}

std::vector<float> renderLineSound(const LineEdges& edges, std::uint64_t from, std::uint64_t to, std::uint64_t clockHz,
                                   int sampleRate)
{
    std::vector<float> samples;
    samples.reserve(static_cast<std::size_t>((to - std::min(from, to)) * static_cast<std::uint64_t>(sampleRate) / clockHz + 1));
    LineEdges::Reader read = edges.reader();
    std::optional<LineEdge> edge = read.next();
    // The lines as they stand at `from`.
    std::uint8_t held = 0;
    for (; edge && edge->clock < from; edge = read.next()) {
        held = edge->held;
    }
    LineSound sound(clockHz, sampleRate, from, held);
    for (; edge && edge->clock < to; edge = read.next()) {
        sound.add(*edge);
        sound.renderUntil(edge->clock, samples);
    }
    sound.finish(to, samples);
    return samples;
}

std::vector<float> renderLineSound(std::span<const LineEdge> edges, std::uint64_t clockHz, int sampleRate,
                                   std::size_t samples)
{
    std::vector<float> out;
    out.reserve(samples + 1);
    const std::uint64_t rate = static_cast<std::uint64_t>(sampleRate);
    const std::uint64_t end = (samples * clockHz + rate - 1) / rate + 1;
    LineSound sound(clockHz, sampleRate);
    for (const LineEdge& edge : edges) {
        if (edge.clock >= end) {
            break;
        }
        sound.add(edge);
        sound.renderUntil(edge.clock, out);
    }
    sound.finish(end, out);
    out.resize(samples, out.empty() ? 0.0f : out.back());
    return out;
}

}  // namespace zoetra
