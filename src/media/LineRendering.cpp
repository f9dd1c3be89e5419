#include "media/LineRendering.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace zoetra::media {

namespace {

constexpr double KernelSeconds = 0.002;
constexpr double CutBelowHalfHz = 2000.0;
constexpr int Phases = 256;  // table entries a sample apart; interpolated between

// The smoothed step: how far a step has risen at a sample `x` samples after
// it, for x from -half to +half.
class SmoothStep {
public:
    explicit SmoothStep(int rate)
        : half_(static_cast<int>(KernelSeconds * rate / 2.0))
    {
        const double cutoff = (rate / 2.0 - CutBelowHalfHz) / rate;
        const int points = 2 * half_ * Phases;
        std::vector<double> kernel(static_cast<std::size_t>(points + 1));
        double sum = 0.0;
        for (int i = 0; i <= points; ++i) {
            const double x = static_cast<double>(i - points / 2) / Phases;
            const double sinc = x == 0.0 ? 2.0 * cutoff : std::sin(2.0 * std::numbers::pi * cutoff * x) / (std::numbers::pi * x);
            const double phase = std::numbers::pi * x / half_;
            const double window = 0.42 + 0.5 * std::cos(phase) + 0.08 * std::cos(2.0 * phase);
            kernel[static_cast<std::size_t>(i)] = sinc * window;
            sum += sinc * window;
        }
        rise_.resize(kernel.size() + 1);
        double acc = 0.0;
        for (std::size_t i = 0; i < kernel.size(); ++i) {
            acc += kernel[i];
            rise_[i] = (acc - 0.5 * kernel[i]) / sum;
        }
        rise_.back() = 1.0;
    }

    int half() const { return half_; }

    // The smoothed step less the sharp one.
    double difference(double x) const
    {
        const double sharp = x >= 0.0 ? 1.0 : 0.0;
        const double f = (x + half_) * Phases;
        if (f <= 0.0 || f >= static_cast<double>(rise_.size() - 1)) {
            return 0.0;
        }
        const auto i = static_cast<std::size_t>(f);
        const double fraction = f - static_cast<double>(i);
        return rise_[i] * (1.0 - fraction) + rise_[i + 1] * fraction - sharp;
    }

private:
    int half_;
    std::vector<double> rise_;
};

}  // namespace

std::vector<float> renderLines(std::span<const LineEdge> edges, double clockHz, int rate, std::size_t samples)
{
    const SmoothStep step(rate);
    std::vector<double> out(samples, 0.0);
    const auto count = static_cast<long long>(samples);
    double level = 0.0;
    long long next = 0;  // the first sample not yet given the level
    for (const LineEdge& edge : edges) {
        const double at = static_cast<double>(edge.tState) / clockHz * rate;
        for (; next < count && static_cast<double>(next) < at; ++next) {
            out[static_cast<std::size_t>(next)] += level;
        }
        const double change = lineLevel(edge.lines) - level;
        level = lineLevel(edge.lines);
        if (change == 0.0) {
            continue;
        }
        const long long from = std::max(0LL, static_cast<long long>(std::ceil(at - step.half())));
        const long long to = std::min(count - 1, static_cast<long long>(std::floor(at + step.half())));
        for (long long i = from; i <= to; ++i) {
            out[static_cast<std::size_t>(i)] += change * step.difference(static_cast<double>(i) - at);
        }
    }
    for (; next < count; ++next) {
        out[static_cast<std::size_t>(next)] += level;
    }
    return std::vector<float>(out.begin(), out.end());
}

}  // namespace zoetra::media
