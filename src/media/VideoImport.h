#pragma once

#include "media/MediaTypes.h"

#include <QString>

#include <atomic>
#include <functional>

namespace zoetra::media {

class FrameStream;

// Progress and cancellation of an import, checked once a frame. Both are
// used from the importing thread.
struct ImportControl {
    // Fraction done 0..1 and the frames written so far.
    std::function<void(double fraction, int frames)> progress;
    const std::atomic<bool>* cancel = nullptr;
    // Each frame once it is written, in order.
    std::function<void(const ScaledFrame& frame)> written;
};

struct ImportResult {
    enum class Status {
        Done,       // the folder exists with every frame (message may warn)
        Cancelled,  // nothing was left behind
        Failed,     // nothing was left behind; message says why
    };
    Status status = Status::Failed;
    QString folder;  // the new frame folder
    int frames = 0;
    // The frames' sound was kept beside them (a video with sound); not for
    // pictures, nor for a video without sound.
    bool sound = false;
    QString message;
};

// Writes the frames of a begun stream into the new folder `destination`,
// and the video's sound beside them: its first audio stream, as long as the
// frames last from the first frame's time, one channel at the sound
// format's rate (silence where the sound is shorter; the message says so).
ImportResult importFrames(FrameStream& stream, const QString& destination, const ImportControl& control);

// Opens, checks the settings and imports in one go.
ImportResult importFrames(const QString& source, const QString& destination, const ImportSettings& settings,
                          const ImportControl& control);

// The frames an import with these settings writes, each handed to `take`
// in order, without writing anything: what fits of a video can be counted
// before it is imported, or at another rate. False with a message when the
// source cannot be read or the settings do not fit it, or when `cancel` is
// set on the way.
bool readFrames(const QString& source, const ImportSettings& settings, const std::function<void(const QImage&)>& take,
                const std::atomic<bool>* cancel, QString& message);

// "NAME frames" beside a file or folder (NAME without the file's ending),
// or inside `folder` when one is given; "NAME frames 2", 3 ... when that
// exists already.
QString defaultDestination(const QString& source, const QString& folder = QString());

// True for the names of files the import is meant for: videos, animations
// and pictures, by their endings. A hint for drag and drop; the import
// itself goes by the content.
bool looksLikeMedia(const QString& fileName);

}  // namespace zoetra::media
