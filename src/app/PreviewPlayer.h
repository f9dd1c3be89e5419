#pragma once

#include "calc/LivePlayback.h"
#include "calc/Recording.h"

#include <QObject>
#include <QString>
#include <QThread>

#include <cstdint>

namespace zoetra {

class PreviewWorker;

// What the preview shows at a moment of the playback.
struct PreviewView {
    calc::Screen screen{};
    int frame = -1;       // 0-based, -1 before the first
    int frames = 0;       // of the video, once through
    std::uint64_t elapsed = 0;  // T-states into the video
    std::uint64_t total = 0;    // T-states of the video, once through
    double framesPerSecond = 0;
    calc::LivePlayback::State state = calc::LivePlayback::State::Playing;
    bool playing = false;
    bool loops = false;
    QString problem;  // why the program does not play, or faulted
    // The calculator starts: the program runs once through first, this far
    // (T-states), before it plays.
    bool starting = false;
    std::uint64_t started = 0;
    QString sound;    // what is heard: the link port, or why nothing
};

// Plays a program file on the emulated calculator, at the calculator's pace,
// on a thread of its own. Its files are read there and it is recorded once
// through first (a long video takes seconds, reported as it goes), so the
// video's length is known; then it plays live in step with the clock, so a
// key reaches the program as it is pressed, and the link port's lines are
// heard (PreviewSound). Every change is reported by
// viewChanged on the owner's thread.
class PreviewPlayer final : public QObject {
    Q_OBJECT

public:
    explicit PreviewPlayer(QObject* parent = nullptr);
    ~PreviewPlayer() override;

    // Starts playing the program file (a .8xp with the AppVar files of its
    // video beside it, or its .8xg) from the beginning on the setup's model.
    void load(const QString& programPath, const calc::CalculatorSetup& setup = {});
    void setPlaying(bool playing);
    void restart();
    void press(calc::Key key);

    // The last view reported.
    const PreviewView& view() const { return view_; }

signals:
    void viewChanged(const zoetra::PreviewView& view);

private:
    void receive(const PreviewView& view);

    QThread thread_;
    PreviewWorker* worker_ = nullptr;
    PreviewView view_;
};

}  // namespace zoetra

Q_DECLARE_METATYPE(zoetra::PreviewView)
