#pragma once

#include <QByteArray>
#include <QString>

#include "shared/VideoTarget.h"

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace zoetra::archive {

// A video's sound (codec/sound) kept in the archive: its stream cut into
// AppVars of its own after the video's, numbered on from them (the program
// VIDEO with video AppVars VIDEO00 to VIDEO08 has its sound in VIDEO09,
// VIDEO10, ...). Each AppVar's data is a header, then its part of the
// sound stream:
//   0  "ZS"       signature
//   2  4 bytes    the sound's identity: a hash of its whole stream
//   6  1 byte     the number in this AppVar's name
//   7  1 byte     the number after the last sound AppVar's
//   8  ...        sound stream bytes
// so that the player proves it has the whole, matching set, and no
// AppVar of the sound passes for one of the video.
inline constexpr char SoundMark = 'S';

// The number of AppVars a sound stream takes.
int soundAppVarCount(std::size_t streamBytes);

// The data of each of the sound's AppVars, header first; the first is
// number `firstAppVar` in its name.
std::vector<std::vector<std::uint8_t>> splitSoundIntoAppVars(int firstAppVar, std::span<const std::uint8_t> stream);

// The include the player's sound part reads ("Sound.inc"): where its
// AppVars are, the code's size, the signature, and the level's tables (the
// counts of timer 2 and the decoder's steps) as data.
inline constexpr std::string_view SoundIncludeName = "Sound.inc";
// `roundDrift`: soundRoundDrift's, for a looping video. `inProgram`: the
// stream lies in the program (a video in RAM), after the video's: the
// include says where instead of naming AppVars.
QByteArray soundIncludeText(int firstAppVar, std::span<const std::uint8_t> stream, int roundDrift = 0,
                            bool inProgram = false);
// "SoundData.inc": a video in RAM's sound as data lines, which the RAM
// part puts after the video's.
inline constexpr std::string_view SoundDataName = "SoundData.inc";
QByteArray soundDataText(std::span<const std::uint8_t> stream);

// How much longer a round of the sound is than a round of the picture (its
// `frames` at the target's rate, on the pace of the player, which counts
// the OS's timer, 32768 / 304 Hz from the crystal), in 1/256 of a sample:
// a looping video's player makes a round of sound a sample shorter or
// longer whenever that has added up to half a sample.
int soundRoundDrift(std::span<const std::uint8_t> stream, double framesPerSecond, int frames);

}  // namespace zoetra::archive
