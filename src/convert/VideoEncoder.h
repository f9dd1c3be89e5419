#pragma once

#include "platform/FileSystem.h"

#include <QByteArray>

#include <optional>

namespace zoetra {

struct Vars;
struct Platform;

class StreamEncoder;

// The result of encoding one further frame.
struct FrameEncoding {
    bool overLimit = false;  // ByteCount over the target's limit afterwards
    double ratio = 0.0;      // stream size against as many full frames, in %
};

// The three operations below decide, byte by byte, which changes of the
// frame reach the calculator (the quality thinning, with its random draws
// and the marks in the preview); PrevFrameBytes is then the screen the
// calculator shows. Each such screen goes to the stream format's encoder:
// VideoBytes holds its stream, ByteCount the stream's length before the
// video end, and the size, the compression and the limit count that.

// Takes the key frame (vars.FrameBytes) as the first screen and primes
// PrevFrameBytes. Resets the encoder; expects ByteCount = 0.
void StartVideoStream(Vars& vars, StreamEncoder& encoder);

// Decides the changes of frame f (1 .. N - 1), marks them in the monochrome
// preview, encodes the screen and updates the size and compression
// displays; over the limit when ByteCount passes `sizeLimit`.
FrameEncoding EncodeDeltaFrame(Vars& vars, Platform& platform, int f, StreamEncoder& encoder, int sizeLimit);

// Appends the video end; ByteCount is its position, in the stream that goes
// out (finishing may settle which: a dense target's may go out compact).
void EndVideoStream(Vars& vars, StreamEncoder& encoder);

// The text of "Video.dat" for the stream 0..ByteCount, driving the
// ByteWriter bar and yielding after every line. The eight-value line that
// holds the end marker is filled up with zeros, not with what earlier runs
// left in the buffer, so the file depends on this run's stream alone.
QByteArray VideoDataText(Vars& vars, Platform& platform);

// Writes "Video.dat" into the application folder; the failure, if any.
std::optional<FileFailure> WriteVideoData(Vars& vars, Platform& platform);

}  // namespace zoetra
