#pragma once

#include "calc/Calculator.h"

#include <QByteArray>

#include <cstdint>
#include <utility>
#include <vector>

namespace playertest {

using zoetra::calc::Screen;
using Stream = std::vector<std::uint8_t>;
// One further frame as (offset, new value) pairs in ascending offset order.
using FrameChanges = std::vector<std::pair<int, std::uint8_t>>;

inline constexpr std::uint8_t FrameEnd = 255;
inline constexpr std::uint8_t VideoEnd = 254;

// A stream: the key frame, each further frame's records and 255, then 254.
Stream makeStream(const Screen& key, const std::vector<FrameChanges>& frames);

// The pictures a stream describes, key frame first; fails the current test
// on a malformed stream.
std::vector<Screen> decodeStream(const Stream& stream);

// "Video.dat" for a stream: eight-value .db lines up to the one holding the
// end marker, that line filled past the marker with `garbage`, then the
// positions from that line's start to the marker once more, one a line.
QByteArray videoDataText(const Stream& stream, std::uint8_t garbage = 0);

// The stream a "Video.dat" text describes (the inverse of videoDataText);
// fails the current test when the text does not have that layout.
Stream streamFromVideoData(const QByteArray& text);

// How many bytes that text assembles to.
std::size_t videoDataSize(std::size_t streamLength);

// Frames whose every byte differs from the one before, and frames with
// selected bytes changed: building blocks for test videos.
Screen patternScreen(unsigned seed);
FrameChanges changesBetween(const Screen& from, const Screen& to);

}  // namespace playertest
