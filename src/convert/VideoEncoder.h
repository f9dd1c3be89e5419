#pragma once

#include "platform/FileSystem.h"

#include <QByteArray>

#include <optional>

namespace zoetra {

struct Vars;
struct Platform;

// The result of encoding one further frame.
struct FrameEncoding {
    bool overLimit = false;  // ByteCount > VideoSizeLimit afterwards
    double ratio = 0.0;      // stream size against as many full frames, in %
};

// Copies the key frame (vars.FrameBytes) to the stream start and primes
// PrevFrameBytes. Expects ByteCount = 0.
void StartVideoStream(Vars& vars);

// Appends the change records of frame f (1 .. N - 1) and a frame-end marker,
// marks the written bytes in the monochrome preview and updates the size
// and compression displays.
FrameEncoding EncodeDeltaFrame(Vars& vars, Platform& platform, int f);

// Appends the video-end marker; ByteCount stays its position.
void EndVideoStream(Vars& vars);

// The text of "Video.dat" for the stream 0..ByteCount, driving the
// ByteWriter bar and yielding after every line. The eight-value line that
// holds the end marker is filled up with zeros, not with what earlier runs
// left in the buffer, so the file depends on this run's stream alone.
QByteArray VideoDataText(Vars& vars, Platform& platform);

// Writes "Video.dat" into the application folder; the failure, if any.
std::optional<FileFailure> WriteVideoData(Vars& vars, Platform& platform);

}  // namespace zoetra
