#include "support/Sounds.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace zoetra::test {

namespace {

constexpr double Pi = std::numbers::pi;

// xorshift: the same sounds on every machine.
class Noise {
public:
    explicit Noise(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ULL + 1) {}
    double uniform()  // 0..1
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return static_cast<double>(state_ >> 11) / 9007199254740992.0;
    }
    double symmetric() { return 2.0 * uniform() - 1.0; }
    int below(int n) { return static_cast<int>(uniform() * n); }

private:
    std::uint64_t state_;
};

// A two-pole resonance at `hz`, `width` Hz wide.
class Resonance {
public:
    void tune(double hz, double width, int rate)
    {
        const double r = std::exp(-Pi * width / rate);
        a1_ = 2.0 * r * std::cos(2.0 * Pi * hz / rate);
        a2_ = -r * r;
        gain_ = 1.0 - r;
    }
    double operator()(double x)
    {
        const double y = gain_ * x + a1_ * y1_ + a2_ * y2_;
        y2_ = y1_;
        y1_ = y;
        return y;
    }

private:
    double a1_ = 0.0, a2_ = 0.0, gain_ = 0.0, y1_ = 0.0, y2_ = 0.0;
};

std::vector<float> normalised(const std::vector<double>& x)
{
    double peak = 0.0;
    for (const double v : x) {
        peak = std::max(peak, std::abs(v));
    }
    std::vector<float> out(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
        out[i] = peak > 0.0 ? static_cast<float>(0.9 * x[i] / peak) : 0.0f;
    }
    return out;
}

std::size_t sampleAt(double seconds, int rate, std::size_t size)
{
    return std::min(size, static_cast<std::size_t>(std::max(0.0, seconds) * rate));
}

}  // namespace

std::vector<float> sineSweep(int rate, double seconds)
{
    std::vector<double> x(static_cast<std::size_t>(rate * seconds));
    const double from = 100.0;
    const double rise = std::log(3000.0 / from) / seconds;
    double phase = 0.0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        phase += 2.0 * Pi * from * std::exp(rise * static_cast<double>(i) / rate) / rate;
        x[i] = std::sin(phase);
    }
    return normalised(x);
}

std::vector<float> musicLike(int rate, double seconds)
{
    std::vector<double> x(static_cast<std::size_t>(rate * seconds), 0.0);
    Noise noise(7);
    const double beat = 0.25;
    const int scale[] = {0, 2, 4, 5, 7, 9, 11, 12, 14, 16};
    const auto hz = [](double semitones) { return 220.0 * std::pow(2.0, semitones / 12.0); };

    // The melody: notes of one or two beats, gliding into each other.
    double phase = 0.0, pitch = hz(0);
    int note = 0;
    for (double t = 0.0; t < seconds; ++note) {
        const double length = beat * (1 + noise.below(2));
        const double target = hz(scale[noise.below(10)] + (note % 16 < 8 ? 0 : 5));
        const std::size_t from = sampleAt(t, rate, x.size());
        const std::size_t to = sampleAt(t + length, rate, x.size());
        for (std::size_t i = from; i < to; ++i) {
            const double u = static_cast<double>(i - from) / rate;
            pitch += (target - pitch) * 0.002;
            phase += 2.0 * Pi * pitch * (1.0 + 0.006 * std::sin(2.0 * Pi * 5.5 * u)) / rate;
            const double envelope = std::min(1.0, u / 0.02) * std::exp(-2.0 * u) * 0.9 + 0.1;
            double tone = 0.0;
            for (int h = 1; h <= 8; ++h) {
                tone += std::sin(h * phase) / h;
            }
            x[i] += 0.18 * envelope * tone;
        }
        t += length;
    }
    // A bass note a bar.
    phase = 0.0;
    for (int bar = 0; bar * 4 * beat < seconds; ++bar) {
        const double f = hz(-24 + scale[(bar * 3) % 5]);
        const std::size_t from = sampleAt(bar * 4 * beat, rate, x.size());
        const std::size_t to = sampleAt((bar + 1) * 4 * beat, rate, x.size());
        for (std::size_t i = from; i < to; ++i) {
            const double u = static_cast<double>(i - from) / rate;
            phase += 2.0 * Pi * f / rate;
            x[i] += 0.25 * std::exp(-0.8 * u) * (std::sin(phase) + 0.4 * std::sin(2.0 * phase));
        }
    }
    // A chord every two bars, swelling in.
    double chord[3] = {0.0, 0.0, 0.0};
    for (int bar = 0; bar * 8 * beat < seconds; ++bar) {
        const int root = scale[(bar * 2) % 7] - 12;
        const double f[3] = {hz(root), hz(root + 4), hz(root + 7)};
        const std::size_t from = sampleAt(bar * 8 * beat, rate, x.size());
        const std::size_t to = sampleAt((bar + 1) * 8 * beat, rate, x.size());
        for (std::size_t i = from; i < to; ++i) {
            const double swell = std::min(1.0, static_cast<double>(i - from) / rate / 0.3);
            for (int k = 0; k < 3; ++k) {
                chord[k] += 2.0 * Pi * f[k] / rate;
                x[i] += 0.07 * swell * (std::sin(chord[k]) + 0.3 * std::sin(3.0 * chord[k]));
            }
        }
    }
    // Drums: a kick on beats one and three, a snare on two and four, a
    // hi-hat every half beat.
    Resonance snare;
    snare.tune(1800.0, 1500.0, rate);
    for (int k = 0; k * beat * 0.5 < seconds; ++k) {
        const bool kick = k % 8 == 0 || k % 8 == 4;
        const bool hit = k % 8 == 2 || k % 8 == 6;
        const std::size_t from = sampleAt(k * beat * 0.5, rate, x.size());
        const std::size_t to = sampleAt(k * beat * 0.5 + 0.25, rate, x.size());
        double drum = 0.0;
        for (std::size_t i = from; i < to; ++i) {
            const double u = static_cast<double>(i - from) / rate;
            const double n = noise.symmetric();
            if (kick) {
                drum += 2.0 * Pi * (50.0 + 100.0 * std::exp(-30.0 * u)) / rate;
                x[i] += 0.5 * std::exp(-12.0 * u) * std::sin(drum);
            }
            if (hit) {
                x[i] += 2.4 * std::exp(-18.0 * u) * snare(n);
            }
            x[i] += 0.05 * std::exp(-60.0 * u) * n;
        }
    }
    // A little noise throughout, and the loudness rising and falling.
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        x[i] = (x[i] + 0.01 * noise.symmetric()) * (0.55 + 0.45 * std::sin(2.0 * Pi * t / 11.0));
    }
    return normalised(x);
}

std::vector<float> speechLike(int rate, double seconds)
{
    std::vector<double> x(static_cast<std::size_t>(rate * seconds), 0.0);
    Noise noise(11);
    double glottis = 0.0;
    for (double t = 0.1; t < seconds - 0.3;) {
        const double length = 0.12 + 0.2 * noise.uniform();
        const bool voiced = noise.uniform() < 0.8;
        const double f1From = 300 + 500 * noise.uniform(), f1To = 300 + 500 * noise.uniform();
        const double f2From = 900 + 1400 * noise.uniform(), f2To = 900 + 1400 * noise.uniform();
        const double pitchFrom = 100 + 120 * noise.uniform();
        const double pitchTo = pitchFrom * (0.8 + 0.4 * noise.uniform());
        const double loudness = 0.3 + 0.7 * noise.uniform();
        Resonance first, second, third, hiss;
        hiss.tune(3500.0, 2000.0, rate);
        third.tune(2700.0, 200.0, rate);
        const std::size_t from = sampleAt(t, rate, x.size());
        const std::size_t to = sampleAt(t + length, rate, x.size());
        for (std::size_t i = from; i < to; ++i) {
            const double u = static_cast<double>(i - from) / static_cast<double>(to - from);
            const double envelope = std::pow(std::sin(Pi * u), 2.0);
            double sample = 0.0;
            if (voiced) {
                first.tune(f1From + (f1To - f1From) * u, 90.0, rate);
                second.tune(f2From + (f2To - f2From) * u, 120.0, rate);
                glottis += (pitchFrom + (pitchTo - pitchFrom) * u) / rate;
                double pulse = 0.0;
                if (glottis >= 1.0) {
                    glottis -= 1.0;
                    pulse = 30.0;
                }
                const double v = first(pulse);
                sample = second(v * 8.0) + 0.5 * v;
                sample += 0.3 * third(sample * 6.0);
            } else {
                sample = 3.0 * hiss(noise.symmetric());
            }
            x[i] += loudness * envelope * sample;
        }
        t += length + 0.05 + 0.25 * noise.uniform();
    }
    return normalised(x);
}

}  // namespace zoetra::test
