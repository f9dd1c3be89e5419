#pragma once

#include "shared/LineEdges.h"
#include "shared/LineSound.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

class QAudioSink;
class QIODevice;

namespace zoetra {

// The preview window's sound: the link port's lines as the live playback
// emulates them, rendered by LineSound and played through the default
// sound output a little behind the picture (the output's own buffer). It
// lives on the player's thread. Where the build has no Qt Multimedia, or no
// output is found, it stays silent and says why.
class PreviewSound {
public:
    PreviewSound();
    ~PreviewSound();
    PreviewSound(const PreviewSound&) = delete;
    PreviewSound& operator=(const PreviewSound&) = delete;

    // The playback starts from its beginning (emulated clock 0).
    void restart();
    void pause();
    void resume();
    // The lines' changes emulated since the last call, and how far the
    // emulation has come (ClockHz steps).
    void feed(const std::vector<LineEdge>& edges, std::uint64_t clock);

    // What the window says of the sound.
    QString status() const;

private:
    void push();

    QString problem_;
    QString device_;
    int rate_ = 44'100;
    int channels_ = 1;
    bool floats_ = false;
    QAudioSink* sink_ = nullptr;  // owned
    QIODevice* io_ = nullptr;
    std::optional<LineSound> sound_;
    std::vector<float> samples_;
    QByteArray waiting_;  // rendered, not yet taken by the output
};

}  // namespace zoetra
