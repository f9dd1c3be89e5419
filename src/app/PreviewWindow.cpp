#include "app/PreviewWindow.h"

#include "app/AppFonts.h"
#include "calc/Timing.h"
#include "platform/FileSystem.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace zoetra {

namespace {

constexpr int Bezel = 12;
constexpr int DefaultScale = 4;
constexpr QRgb BezelColour = 0xFF3A3F44;

// 0:03.25
QString clock(std::uint64_t tstates)
{
    const auto hundredths = static_cast<std::uint64_t>(calc::seconds(tstates) * 100.0 + 0.5);
    return QStringLiteral("%1:%2.%3")
        .arg(hundredths / 6000)
        .arg(hundredths / 100 % 60, 2, 10, QLatin1Char('0'))
        .arg(hundredths % 100, 2, 10, QLatin1Char('0'));
}

// Whether the program has come to its end: back at the home screen, or
// stopped by a fault.
bool ended(const PreviewView& view)
{
    using State = calc::LivePlayback::State;
    return !view.starting && (view.state == State::Ended || view.state == State::Fault);
}

QString stateText(const PreviewView& view)
{
    using State = calc::LivePlayback::State;
    if (view.starting) {
        // It runs once through first, to know its video.
        return QStringLiteral("Starting the calculator: running it once through (%1 so far).").arg(clock(view.started));
    }
    if (!view.problem.isEmpty()) {
        return QStringLiteral("The program does not play on the calculator: %1").arg(view.problem);
    }
    switch (view.state) {
    case State::WaitingForKey:
        return QStringLiteral("The last frame stays until a key is pressed.");
    case State::Ended:
        return QStringLiteral("The program has ended: back at the home screen.");
    case State::Fault:
    case State::Playing:
        break;
    }
    if (!view.playing) {
        return QStringLiteral("Paused.");
    }
    return view.loops ? QStringLiteral("Playing; the video starts again after its last frame.")
                      : QStringLiteral("Playing.");
}

}  // namespace

LcdView::LcdView(QWidget* parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void LcdView::setScreen(const calc::Screen& screen)
{
    if (screen != screen_) {
        screen_ = screen;
        update();
    }
}

int LcdView::scale() const
{
    return std::max(1, std::min((width() - 2 * Bezel) / calc::ScreenWidth, (height() - 2 * Bezel) / calc::ScreenHeight));
}

QSize LcdView::sizeHint() const
{
    return {calc::ScreenWidth * DefaultScale + 2 * Bezel, calc::ScreenHeight * DefaultScale + 2 * Bezel};
}

QSize LcdView::minimumSizeHint() const
{
    return {calc::ScreenWidth + 2 * Bezel, calc::ScreenHeight + 2 * Bezel};
}

void LcdView::paintEvent(QPaintEvent*)
{
    QImage image(calc::ScreenWidth, calc::ScreenHeight, QImage::Format_RGB32);
    for (int y = 0; y < calc::ScreenHeight; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < calc::ScreenWidth; ++x) {
            row[x] = 0xFF000000u | (calc::darkPixel(screen_, x, y) ? calc::LcdInk : calc::LcdBackground);
        }
    }
    const int s = scale();
    const QSize size(calc::ScreenWidth * s, calc::ScreenHeight * s);
    const QRect target(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
    QPainter painter(this);
    painter.fillRect(rect(), QColor::fromRgb(BezelColour));
    // Whole-number scaling without smoothing keeps every pixel square.
    painter.drawImage(target, image);
}

PreviewWindow::PreviewWindow(QWidget* owner) : QWidget(owner, Qt::Window)
{
    setObjectName(QStringLiteral("PreviewWindow"));
    setWindowTitle(QStringLiteral("Preview on Calculator"));
    setFont(AppFonts::windowFont());

    PreviewScreen = new LcdView(this);
    PreviewScreen->setObjectName(QStringLiteral("PreviewScreen"));
    PreviewStatus = new QLabel(this);
    PreviewStatus->setObjectName(QStringLiteral("PreviewStatus"));
    PreviewStatus->setWordWrap(true);
    PreviewFrame = new QLabel(this);
    PreviewFrame->setObjectName(QStringLiteral("PreviewFrame"));
    PreviewTime = new QLabel(this);
    PreviewTime->setObjectName(QStringLiteral("PreviewTime"));
    PreviewRate = new QLabel(this);
    PreviewRate->setObjectName(QStringLiteral("PreviewRate"));
    PreviewSound = new QLabel(this);
    PreviewSound->setObjectName(QStringLiteral("PreviewSound"));
    PreviewSound->setWordWrap(true);
    PreviewPlay = new QPushButton(QStringLiteral("Pause"), this);
    PreviewPlay->setObjectName(QStringLiteral("PreviewPlay"));
    PreviewRestart = new QPushButton(QStringLiteral("Restart"), this);
    PreviewRestart->setObjectName(QStringLiteral("PreviewRestart"));
    PreviewClear = new QPushButton(QStringLiteral("[CLEAR]"), this);
    PreviewClear->setObjectName(QStringLiteral("PreviewClear"));
    PreviewClear->setToolTip(QStringLiteral("Presses the calculator's CLEAR key, which stops the video"));

    auto* numbers = new QHBoxLayout;
    numbers->addWidget(PreviewFrame);
    numbers->addStretch();
    numbers->addWidget(PreviewTime);
    numbers->addStretch();
    numbers->addWidget(PreviewRate);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(PreviewPlay);
    buttons->addWidget(PreviewRestart);
    buttons->addStretch();
    buttons->addWidget(PreviewClear);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PreviewScreen, 1);
    layout->addLayout(numbers);
    layout->addWidget(PreviewStatus);
    layout->addWidget(PreviewSound);
    layout->addLayout(buttons);

    connect(&player_, &PreviewPlayer::viewChanged, this, &PreviewWindow::display);
    connect(PreviewPlay, &QPushButton::clicked, this, [this] {
        // After its end it plays again from the start.
        if (ended(player_.view())) {
            player_.restart();
            player_.setPlaying(true);
        } else {
            player_.setPlaying(!player_.view().playing);
        }
    });
    connect(PreviewRestart, &QPushButton::clicked, this, [this] {
        player_.restart();
        player_.setPlaying(true);
    });
    connect(PreviewClear, &QPushButton::clicked, this, [this] { player_.press(calc::Key::Clear); });
    display(PreviewView{});
}

PreviewWindow::~PreviewWindow() = default;

void PreviewWindow::play(const QString& programPath, const calc::CalculatorSetup& setup)
{
    setWindowTitle(QStringLiteral("Preview on Calculator - %1").arg(QFileInfo(programPath).fileName()));
    // Its files are read on the player's thread, with a video in the
    // archive its AppVar files beside it.
    player_.load(programPath, setup);
}

void PreviewWindow::display(const PreviewView& view)
{
    PreviewScreen->setScreen(view.screen);
    if (view.starting) {
        // Nothing of the video is known yet.
        PreviewFrame->setText(QStringLiteral("Frame - of -"));
        PreviewTime->setText(QStringLiteral("-:--.-- / -:--.--"));
        PreviewRate->setText(QStringLiteral("- frames a second"));
    } else {
        PreviewFrame->setText(view.frame < 0 ? QStringLiteral("Frame - of %1").arg(view.frames)
                                             : QStringLiteral("Frame %1 of %2").arg(view.frame + 1).arg(view.frames));
        PreviewTime->setText(clock(view.elapsed) + QStringLiteral(" / ") + clock(view.total));
        PreviewRate->setText(QStringLiteral("%1 frames a second").arg(view.framesPerSecond, 0, 'f', 2));
    }
    PreviewStatus->setText(stateText(view));
    PreviewSound->setText(view.sound);
    // "Pause" only while the program plays; after its end "Play" plays it
    // again. Nothing to press while it starts or when it cannot play.
    PreviewPlay->setText(view.playing && !ended(view) && !view.starting ? QStringLiteral("Pause") : QStringLiteral("Play"));
    const bool playable = !view.starting && view.frames > 0;
    PreviewPlay->setEnabled(playable);
    PreviewRestart->setEnabled(playable);
    PreviewClear->setEnabled(playable && !ended(view));
}

}  // namespace zoetra
