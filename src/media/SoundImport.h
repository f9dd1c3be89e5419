#pragma once

#include <QString>

#include <atomic>
#include <optional>
#include <span>
#include <vector>

namespace zoetra::media {

// One channel of sound: samples -1..1, `rate` a second.
struct Sound {
    std::vector<float> samples;
    int rate = 0;

    double seconds() const { return rate > 0 ? static_cast<double>(samples.size()) / rate : 0.0; }
};

// Which part of a file's sound to read.
struct SoundSpan {
    // Seconds from `origin`; the part's length, to the sound's end when none.
    double start = 0.0;
    std::optional<double> length;
    // The time on the file's clock that `start` counts from: a video's
    // first frame, so that the sound keeps its place with the frames; none:
    // the sound's own beginning.
    std::optional<double> origin;
};

struct SoundRead {
    enum class Status {
        Read,       // `sound` holds the part, as long as asked
        None,       // the file holds no sound; message says so
        Failed,     // message says why
        Cancelled,
    };
    Status status = Status::Failed;
    Sound sound;
    // Where the file's own sound stopped, in seconds into `sound`: before its
    // end when the file's sound is shorter than the part asked for (silence
    // follows), or began after the part's start (silence comes first before
    // `heardFrom`).
    double heardFrom = 0.0;
    double heardUntil = 0.0;
    QString message;
};

// Reads the first audio stream of a file through FFmpeg's libraries,
// mixed to one channel and resampled to `rate` (libswresample), for the
// part `span` asks; silence where the file has no sound in it. While
// `cancel` is set, reading gives up.
SoundRead readSound(const QString& path, int rate, const SoundSpan& span = {},
                    const std::atomic<bool>* cancel = nullptr);

// The sound kept in a folder of frames (FolderSoundFileName), at `rate`;
// Status::None when the folder has none.
SoundRead readFolderSound(const QString& folder, int rate);
// The same as samples for a conversion (convert/VideoSound.h's
// SoundSource): nothing, with the reason in `why`, for a folder without
// sound or one that cannot be read.
std::optional<std::vector<float>> folderSoundSamples(const QString& folder, int rate, QString& why);

// One channel resampled from `from` to `to` samples a second
// (libswresample), each output sample at its own time.
std::vector<float> resampleSound(std::span<const float> samples, int from, int to);

// The sound as a WAVE file of 16-bit samples.
QByteArray waveFile(const Sound& sound);

}  // namespace zoetra::media
