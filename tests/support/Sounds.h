#pragma once

#include <vector>

namespace zoetra::test {

// Sounds made in code for the sound's tests and its benchmark: one channel
// at `rate`, the loudest sample at 0.9.

// A sine rising from 100 Hz to 3 kHz, exponentially.
std::vector<float> sineSweep(int rate, double seconds);
// A melody of gliding notes with vibrato and harmonics, a bass, a slow
// chord, drums and a little noise, louder and softer by turns.
std::vector<float> musicLike(int rate, double seconds);
// Syllables: voiced bursts through moving formants at a wandering pitch,
// hissed ones, and pauses between them.
std::vector<float> speechLike(int rate, double seconds);

}  // namespace zoetra::test
