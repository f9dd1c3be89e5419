#pragma once

namespace zoetra::sound {

// T-states of the player's sound interrupt handler (at any clock: they are
// counted in the CPU's cycles), as docs/formats/sound.md lists its code,
// from the moment a timer expires with the interrupt accepted at once: the
// IM 2 acknowledge (19) and the vector's jump (10) included. The player's
// handler must take exactly these; the reference decoder places every write
// of the lines by them.
namespace cost {
// Timer 1 (the crystal's) expired: a sample's pulse starts. The lines are
// pulled low by the OUT that ends StartLines T-states after the expiry;
// timer 2 is started by the OUT that ends at StartCount; the handler has
// returned at StartHandler.
inline constexpr int StartLines = 99;
inline constexpr int StartCount = 155;
inline constexpr int StartHandler = 209;
// Timer 2 (the CPU's) expired: the pulse ends. The lines are released by the
// OUT that ends EndLines T-states after the expiry; the handler has
// returned at EndHandler.
inline constexpr int EndLines = 86;
inline constexpr int EndHandler = 128;
// Any other interrupt (the OS's timer, whose tick the player counts and
// acknowledges itself) through the same handler, from its acceptance to
// its return.
inline constexpr int OtherHandler = 224;
// The main loop's decoding of a sample into the ring (a byte's codes at a
// time, with the fill's own work shared among the 16 samples or more it
// decodes at once), at most, as measured on the emulated calculator: 2-bit
// and 4-bit codes.
inline constexpr int Decode2 = 540;
inline constexpr int Decode4 = 610;
// The share of the player's clock the sound may take beside a video: a
// video whose every frame takes all of its time on the model's slower
// clock (15 frames a second of random whole screens) keeps its frames' times
// beside level 2 (32 %), not beside level 3 (38 %).
inline constexpr double MostShare = 0.33;
// Room left before the next sample's expiry when a pulse has ended: the
// instruction the end's interrupt waits for, and a clock a little slower
// than its nominal speed.
inline constexpr int EndMargin = 64;
}  // namespace cost

}  // namespace zoetra::sound
