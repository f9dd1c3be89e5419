#include "app/PreviewPlayer.h"

#include "app/PreviewSound.h"

#include "calc/Recording.h"
#include "calc/Timing.h"
#include "calc/VideoFiles.h"
#include "codec/Codec.h"

#include <QElapsedTimer>
#include <QTimer>

#include <memory>
#include <optional>

namespace zoetra {

using calc::CalculatorSetup;
using calc::Key;
using calc::LivePlayback;
using calc::Recording;

// Lives on the player's thread; everything it does runs there.
class PreviewWorker final : public QObject {
    Q_OBJECT

public:
    void load(const QString& programPath, const CalculatorSetup& setup);
    void setPlaying(bool playing);
    void restart();
    void press(Key key);

signals:
    void viewChanged(const zoetra::PreviewView& view);

private:
    void tick();
    void report(bool always);
    void reportStarting(std::uint64_t tstates);
    std::uint64_t clock() const;

    std::unique_ptr<LivePlayback> playback_;
    std::unique_ptr<PreviewSound> sound_;
    QTimer* timer_ = nullptr;
    QElapsedTimer wall_;
    std::uint64_t resumedAt_ = 0;  // emulated time when the clock last started
    bool playing_ = false;
    QString problem_;
    std::uint64_t reportedChanges_ = 0;
    std::uint64_t reportedElapsed_ = 0;
    std::optional<LivePlayback::State> reportedState_;
};

namespace {

// The emulation follows the clock in steps this long: well under a timer
// tick, so a key lands within one tick of its press, as on the calculator.
constexpr int SliceMilliseconds = 4;
// The elapsed time is reported at least this often while it runs.
constexpr std::uint64_t ElapsedReportTStates = calc::CpuHz / 25;

}  // namespace

void PreviewWorker::load(const QString& programPath, const CalculatorSetup& setup)
{
    if (timer_ == nullptr) {
        timer_ = new QTimer(this);
        timer_->setTimerType(Qt::PreciseTimer);
        timer_->setInterval(SliceMilliseconds);
        connect(timer_, &QTimer::timeout, this, &PreviewWorker::tick);
        sound_ = std::make_unique<PreviewSound>();
    }
    playback_.reset();
    problem_.clear();
    playing_ = false;
    timer_->stop();
    reportStarting(0);
    // The program with its video's AppVars, if it reads them, and the
    // frames of a round of its video, where it says where that lies.
    std::string error;
    std::optional<calc::ProgramWithVideo> video = calc::readProgramWithVideo(programPath, &error);
    if (!video) {
        problem_ = QString::fromStdString(error);
        report(true);
        return;
    }
    CalculatorSetup played = setup;
    played.appVars = std::move(video->appVars);
    if (video->madeFor) {
        played.roundFrames = streamFrames(video->madeFor->format, video->stream);
    }
    Recording recording =
        calc::recordProgram(video->program, played, [this](std::uint64_t tstates, std::uint64_t) { reportStarting(tstates); });
    problem_ = QString::fromStdString(recording.problem());
    playback_ = std::make_unique<LivePlayback>(std::move(video->program), std::move(recording));
    restart();
    setPlaying(true);
}

void PreviewWorker::reportStarting(std::uint64_t tstates)
{
    PreviewView view;
    view.starting = true;
    view.started = tstates;
    emit viewChanged(view);
}

std::uint64_t PreviewWorker::clock() const
{
    if (!playing_) {
        return resumedAt_;
    }
    const auto nanoseconds = static_cast<std::uint64_t>(wall_.nsecsElapsed());
    return resumedAt_ + nanoseconds / 1000 * calc::CpuHz / 1'000'000;
}

void PreviewWorker::setPlaying(bool playing)
{
    if (playback_ == nullptr) {
        return;
    }
    if (playing && !playing_) {
        resumedAt_ = playback_->now();
        wall_.start();
        timer_->start();
        sound_->resume();
    } else if (!playing && playing_) {
        tick();
        resumedAt_ = playback_->now();
        timer_->stop();
        sound_->pause();
    }
    playing_ = playing;
    report(true);
}

void PreviewWorker::restart()
{
    if (playback_ == nullptr) {
        return;
    }
    playback_->restart();
    sound_->restart();
    resumedAt_ = 0;
    wall_.start();
    report(true);
}

void PreviewWorker::press(Key key)
{
    if (playback_ == nullptr) {
        return;
    }
    // Up to this moment first, so the key comes at the time it was pressed.
    tick();
    playback_->press(key);
    tick();
}

void PreviewWorker::tick()
{
    if (playback_ == nullptr) {
        return;
    }
    playback_->advanceTo(clock(), [this] { report(false); });
    sound_->feed(playback_->takeLineEdges(), playback_->now() * calc::ClockPerTState);
    report(false);
}

void PreviewWorker::report(bool always)
{
    PreviewView view;
    view.playing = playing_;
    view.problem = problem_;
    view.sound = sound_ ? sound_->status() : QString();
    if (playback_ != nullptr) {
        const Recording& recording = playback_->recording();
        view.screen = playback_->screen();
        view.frame = playback_->frame();
        view.frames = static_cast<int>(recording.frames.size());
        view.elapsed = playback_->elapsed();
        view.total = recording.totalTStates();
        view.framesPerSecond = recording.framesPerSecond();
        view.state = playback_->state();
        view.loops = recording.end == Recording::End::Loops;
        if (view.state == LivePlayback::State::Fault) {
            view.problem = QString::fromStdString(playback_->fault());
        }
    } else {
        view.state = LivePlayback::State::Fault;
    }
    const bool changed = playback_ == nullptr || playback_->screenChanges() != reportedChanges_ ||
                         reportedState_ != view.state || view.elapsed >= reportedElapsed_ + ElapsedReportTStates ||
                         view.elapsed < reportedElapsed_;
    if (!always && !changed) {
        return;
    }
    if (playback_ != nullptr) {
        reportedChanges_ = playback_->screenChanges();
    }
    reportedState_ = view.state;
    reportedElapsed_ = view.elapsed;
    // Nothing more happens until a key or a restart.
    if (view.state == LivePlayback::State::Ended || view.state == LivePlayback::State::Fault) {
        timer_->stop();
    } else if (playing_ && !timer_->isActive()) {
        timer_->start();
    }
    emit viewChanged(view);
}

PreviewPlayer::PreviewPlayer(QObject* parent) : QObject(parent)
{
    qRegisterMetaType<PreviewView>();
    worker_ = new PreviewWorker;
    worker_->moveToThread(&thread_);
    connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
    connect(worker_, &PreviewWorker::viewChanged, this, &PreviewPlayer::receive, Qt::QueuedConnection);
    thread_.setObjectName(QStringLiteral("Calculator preview"));
    thread_.start();
}

PreviewPlayer::~PreviewPlayer()
{
    thread_.quit();
    thread_.wait();
}

void PreviewPlayer::load(const QString& programPath, const CalculatorSetup& setup)
{
    QMetaObject::invokeMethod(worker_, [worker = worker_, programPath, setup] { worker->load(programPath, setup); });
}

void PreviewPlayer::setPlaying(bool playing)
{
    QMetaObject::invokeMethod(worker_, [worker = worker_, playing] { worker->setPlaying(playing); });
}

void PreviewPlayer::restart()
{
    QMetaObject::invokeMethod(worker_, [worker = worker_] { worker->restart(); });
}

void PreviewPlayer::press(Key key)
{
    QMetaObject::invokeMethod(worker_, [worker = worker_, key] { worker->press(key); });
}

void PreviewPlayer::receive(const PreviewView& view)
{
    view_ = view;
    emit viewChanged(view_);
}

}  // namespace zoetra

#include "PreviewPlayer.moc"
