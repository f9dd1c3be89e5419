#pragma once

#include "platform/FileSystem.h"

#include <QByteArray>

#include <optional>

namespace zoetra {

struct Vars;
struct Platform;

namespace compact {
class CompactEncoder;
}

// The result of encoding one further frame.
struct FrameEncoding {
    bool overLimit = false;  // ByteCount > VideoSizeLimit afterwards
    double ratio = 0.0;      // stream size against as many full frames, in %
};

// With a compact encoder (the "Compact video" option) the three operations
// below make the same decisions, so that PrevFrameBytes, the random draws
// and the marks in the preview stay as they are; only the stream differs:
// VideoBytes holds the compact stream of the screens PrevFrameBytes goes
// through (CompactFormat.h), ByteCount its length before the video end, and
// the size, the compression and the limit count that.

// Copies the key frame (vars.FrameBytes) to the stream start and primes
// PrevFrameBytes. Expects ByteCount = 0.
void StartVideoStream(Vars& vars, compact::CompactEncoder* compact = nullptr);

// Appends the change records of frame f (1 .. N - 1) and a frame-end marker,
// marks the written bytes in the monochrome preview and updates the size
// and compression displays.
FrameEncoding EncodeDeltaFrame(Vars& vars, Platform& platform, int f, compact::CompactEncoder* compact = nullptr);

// Appends the video-end marker; ByteCount stays its position.
void EndVideoStream(Vars& vars, compact::CompactEncoder* compact = nullptr);

// The text of "Video.dat" for the stream 0..ByteCount, driving the
// ByteWriter bar and yielding after every line. The eight-value line that
// holds the end marker is filled up with zeros, not with what earlier runs
// left in the buffer, so the file depends on this run's stream alone.
QByteArray VideoDataText(Vars& vars, Platform& platform);

// Writes "Video.dat" into the application folder; the failure, if any.
std::optional<FileFailure> WriteVideoData(Vars& vars, Platform& platform);

}  // namespace zoetra
