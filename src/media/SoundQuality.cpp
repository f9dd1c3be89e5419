#include "media/SoundQuality.h"

#include "media/SoundImport.h"
#include "shared/LineSound.h"

extern "C" {
#include <libavutil/mem.h>
#include <libavutil/tx.h>
}

#include <algorithm>
#include <cmath>
#include <complex>
#include <memory>
#include <numbers>
#include <vector>

namespace zoetra::media {

namespace {

constexpr int Rate = 8000;
constexpr double LowHz = 100.0;
constexpr double HighHz = 3000.0;
constexpr int Segment = 256;
constexpr double MinSnr = -10.0;
constexpr double MaxSnr = 35.0;
constexpr double SilentBelow = 1e-4;  // of the mean power: 40 dB
constexpr int MaxLagSeconds = 1;
// The alignment is found on this much of the sound, from its middle: to
// the 8 kHz sample on the first, to 1/64,000 s on the second. (FFmpeg's
// transforms are fast up to 2^17 points.)
constexpr int CoarseSeconds = 6;
constexpr int FineSeconds = 10;
constexpr int Up = MeasureRenderRate / Rate;

struct Biquad {
    double b0, b1, b2, a1, a2;
};

Biquad butterworth(double hz, double q, bool highPass)
{
    const double w = 2.0 * std::numbers::pi * hz / Rate;
    const double c = std::cos(w);
    const double alpha = std::sin(w) / (2.0 * q);
    const double a0 = 1.0 + alpha;
    const double edge = highPass ? (1.0 + c) / 2.0 : (1.0 - c) / 2.0;
    const double middle = highPass ? -(1.0 + c) : 1.0 - c;
    return {edge / a0, middle / a0, edge / a0, -2.0 * c / a0, (1.0 - alpha) / a0};
}

void run(std::vector<double>& x, const Biquad& f)
{
    double x1 = 0.0, x2 = 0.0, y1 = 0.0, y2 = 0.0;
    for (double& v : x) {
        const double y = f.b0 * v + f.b1 * x1 + f.b2 * x2 - f.a1 * y1 - f.a2 * y2;
        x2 = x1;
        x1 = v;
        y2 = y1;
        y1 = y;
        v = y;
    }
}

// 100..3,000 Hz at 8 kHz, without a shift in time.
std::vector<double> bandPassed(std::span<const float> at8k)
{
    std::vector<double> x(at8k.begin(), at8k.end());
    const Biquad filters[4] = {butterworth(LowHz, 0.5412, true), butterworth(LowHz, 1.3066, true),
                               butterworth(HighHz, 0.5412, false), butterworth(HighHz, 1.3066, false)};
    for (int pass = 0; pass < 2; ++pass) {
        for (const Biquad& f : filters) {
            run(x, f);
        }
        std::reverse(x.begin(), x.end());
    }
    return x;
}

// The output at 64 kHz taken `shift` samples later (cubic interpolation),
// at 8 kHz and band-passed.
std::vector<double> outputAt(std::span<const float> output, double shift)
{
    const double whole = std::floor(shift);
    const double f = shift - whole;
    const auto offset = static_cast<long long>(whole);
    const auto size = static_cast<long long>(output.size());
    const auto at = [&](long long i) { return i >= 0 && i < size ? output[static_cast<std::size_t>(i)] : 0.0f; };
    std::vector<float> shifted(output.size());
    const double w0 = -f * (f - 1) * (f - 2) / 6, w1 = (f + 1) * (f - 1) * (f - 2) / 2;
    const double w2 = -(f + 1) * f * (f - 2) / 2, w3 = (f + 1) * f * (f - 1) / 6;
    for (long long i = 0; i < size; ++i) {
        const long long j = i + offset;
        shifted[static_cast<std::size_t>(i)] =
            static_cast<float>(w0 * at(j - 1) + w1 * at(j) + w2 * at(j + 1) + w3 * at(j + 2));
    }
    return bandPassed(resampleSound(shifted, MeasureRenderRate, Rate));
}

double dot(const std::vector<double>& a, const std::vector<double>& b, std::size_t from, std::size_t to)
{
    double sum = 0.0;
    for (std::size_t i = from; i < to && i < a.size() && i < b.size(); ++i) {
        sum += a[i] * b[i];
    }
    return sum;
}

// The L in 0..most at which sum source[i] * output[i + L] is largest: the peak of the
// cross-correlation, through FFTs.
int bestLag(std::span<const double> source, std::span<const double> output, int most)
{
    std::size_t size = 1;
    while (size < source.size() + output.size()) {
        size *= 2;
    }
    AVTXContext* rawTx = nullptr;
    av_tx_fn fft = nullptr;
    AVTXContext* rawInverse = nullptr;
    av_tx_fn ifft = nullptr;
    const double scale = 1.0;
    if (av_tx_init(&rawTx, &fft, AV_TX_DOUBLE_FFT, 0, static_cast<int>(size), &scale, 0) < 0 ||
        av_tx_init(&rawInverse, &ifft, AV_TX_DOUBLE_FFT, 1, static_cast<int>(size), &scale, 0) < 0) {
        av_tx_uninit(&rawTx);
        return 0;
    }
    const auto uninit = [](AVTXContext* c) { av_tx_uninit(&c); };
    std::unique_ptr<AVTXContext, decltype(uninit)> tx(rawTx, uninit);
    std::unique_ptr<AVTXContext, decltype(uninit)> inverse(rawInverse, uninit);
    using Complex = std::complex<double>;  // laid out as AVComplexDouble
    std::vector<Complex> a(size), b(size), fa(size), fb(size);
    std::copy(source.begin(), source.end(), a.begin());
    std::copy(output.begin(), output.end(), b.begin());
    fft(tx.get(), fa.data(), a.data(), sizeof(Complex));
    fft(tx.get(), fb.data(), b.data(), sizeof(Complex));
    for (std::size_t i = 0; i < size; ++i) {
        fa[i] = std::conj(fa[i]) * fb[i];
    }
    ifft(inverse.get(), a.data(), fa.data(), sizeof(Complex));
    int best = 0;
    double bestValue = -1e300;
    for (int lag = 0; lag <= most && static_cast<std::size_t>(lag) < size; ++lag) {
        const double value = a[static_cast<std::size_t>(lag)].real();
        if (value > bestValue) {
            bestValue = value;
            best = lag;
        }
    }
    return best;
}

}  // namespace

SoundQuality measureSound(std::span<const float> source, int sourceRate, std::span<const float> output)
{
    SoundQuality quality;
    const std::vector<double> s = bandPassed(resampleSound(source, sourceRate, Rate));
    if (s.empty() || output.empty()) {
        return quality;
    }
    // The alignment is found on a part of the sound, from its middle: to
    // the 8 kHz sample by cross-correlation, then to 1/64,000 s, the best
    // whole sample at 64 kHz near it, then a golden-section search between
    // its neighbours.
    const std::size_t middle = s.size() / 2;
    const std::vector<double> heard = bandPassed(resampleSound(output, MeasureRenderRate, Rate));
    const int most = MaxLagSeconds * Rate;
    const std::size_t coarse = std::min<std::size_t>(middle, CoarseSeconds * Rate / 2);
    // heard[first + i + L] meets s[middle - coarse + i]: the lag is
    // first + L - (middle - coarse).
    const auto begin = static_cast<long long>(middle - coarse);
    const long long first = std::max(0LL, begin - most);
    const long long last = std::min(static_cast<long long>(heard.size()), static_cast<long long>(middle + coarse) + most);
    if (last <= first) {
        return quality;
    }
    const int lag = static_cast<int>(
        first - begin +
        bestLag(std::span<const double>(s).subspan(static_cast<std::size_t>(begin), 2 * coarse),
                std::span<const double>(heard).subspan(static_cast<std::size_t>(first), static_cast<std::size_t>(last - first)),
                static_cast<int>(begin + most - first)));
    const std::size_t half = std::min<std::size_t>(middle, FineSeconds * Rate / 2);
    const std::size_t from = middle - half;
    const std::size_t to = middle + half;
    const long long cutFrom = std::max(0LL, static_cast<long long>(from) * Up - MeasureRenderRate);
    const long long cutTo = std::min(static_cast<long long>(output.size()),
                                     static_cast<long long>(to) * Up + 2LL * MeasureRenderRate);
    const std::span<const float> part =
        cutTo > cutFrom ? output.subspan(static_cast<std::size_t>(cutFrom), static_cast<std::size_t>(cutTo - cutFrom))
                        : output.first(0);
    const auto match = [&](double shift) {
        // The part starts cutFrom samples in: source sample i meets part
        // sample i * Up + shift - cutFrom.
        const double partShift = shift - static_cast<double>(cutFrom);
        const double whole = std::floor(partShift / Up);
        const std::vector<double> y = outputAt(part, partShift - whole * Up);
        double sy = 0.0, yy = 0.0;
        for (std::size_t i = from; i < to; ++i) {
            const long long j = static_cast<long long>(i) + static_cast<long long>(whole);
            if (j >= 0 && j < static_cast<long long>(y.size())) {
                const double v = y[static_cast<std::size_t>(j)];
                sy += s[i] * v;
                yy += v * v;
            }
        }
        return yy > 0.0 ? sy / std::sqrt(yy) : -1e300;
    };
    double best = static_cast<double>(lag) * Up;
    double bestValue = -1e300;
    for (int k = -Up; k <= Up; ++k) {
        const double shift = static_cast<double>(lag) * Up + k;
        const double value = match(shift);
        if (value > bestValue) {
            bestValue = value;
            best = shift;
        }
    }
    const double golden = (std::sqrt(5.0) - 1.0) / 2.0;
    double a = best - 1.0, b = best + 1.0;
    double x1 = b - golden * (b - a), x2 = a + golden * (b - a);
    double f1 = match(x1), f2 = match(x2);
    for (int i = 0; i < 14; ++i) {
        if (f1 > f2) {
            b = x2;
            x2 = x1;
            f2 = f1;
            x1 = b - golden * (b - a);
            f1 = match(x1);
        } else {
            a = x1;
            x1 = x2;
            f1 = f2;
            x2 = a + golden * (b - a);
            f2 = match(x2);
        }
    }
    const double shift = (a + b) / 2.0;
    quality.delaySeconds = shift / MeasureRenderRate;

    // The whole sound at that shift, scaled by least squares.
    const double whole = std::floor(shift / Up);
    const std::vector<double> shifted = outputAt(output, shift - whole * Up);
    std::vector<double> y(s.size(), 0.0);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const long long j = static_cast<long long>(i) + static_cast<long long>(whole);
        if (j >= 0 && j < static_cast<long long>(shifted.size())) {
            y[i] = shifted[static_cast<std::size_t>(j)];
        }
    }
    const double sy = dot(s, y, 0, s.size());
    const double yy = dot(y, y, 0, y.size());
    const double ss = dot(s, s, 0, s.size());
    const double scale = yy > 0.0 ? sy / yy : 0.0;
    double noise = 0.0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        y[i] *= scale;
        noise += (s[i] - y[i]) * (s[i] - y[i]);
    }
    quality.snr = noise > 0.0 && ss > 0.0 ? 10.0 * std::log10(ss / noise) : 0.0;

    const double silent = ss / static_cast<double>(s.size()) * SilentBelow;
    double sum = 0.0;
    for (std::size_t k = 0; k + Segment <= s.size(); k += Segment) {
        double power = 0.0, error = 0.0;
        for (std::size_t i = k; i < k + Segment; ++i) {
            power += s[i] * s[i];
            error += (s[i] - y[i]) * (s[i] - y[i]);
        }
        if (ss <= 0.0 || power / Segment < silent) {
            ++quality.silentSegments;
            continue;
        }
        const double snr = error > 0.0 ? 10.0 * std::log10(power / error) : MaxSnr;
        sum += std::clamp(snr, MinSnr, MaxSnr);
        ++quality.segments;
    }
    quality.segmentalSnr = quality.segments > 0 ? sum / quality.segments : 0.0;
    return quality;
}

std::vector<float> measuredLines(std::span<const LineEdge> edges, std::uint64_t clockHz, std::size_t samples)
{
    std::vector<float> heard = renderLineSound(edges, clockHz, MeasureRenderRate, samples);
    for (float& sample : heard) {
        sample = -sample;
    }
    return heard;
}

}  // namespace zoetra::media
