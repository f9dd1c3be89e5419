#pragma once

#include "app/PreviewPlayer.h"

#include <QString>
#include <QWidget>

class QLabel;
class QPushButton;

namespace zoetra {

// The calculator's 96x64 screen, dark pixels on the grey-green LCD, at the
// largest whole scale that fits, centred in a dark bezel.
class LcdView final : public QWidget {
    Q_OBJECT

public:
    explicit LcdView(QWidget* parent = nullptr);

    void setScreen(const calc::Screen& screen);
    const calc::Screen& screen() const { return screen_; }
    // The whole scale the screen is drawn at.
    int scale() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    calc::Screen screen_{};
};

// "Preview on Calculator": a window of its own that plays a delivered
// program on the emulated calculator at the calculator's pace, with play and
// pause, restart and the [CLEAR] key, and where the video stands. The
// emulation runs on the player's thread; this only draws what it reports.
class PreviewWindow final : public QWidget {
    Q_OBJECT

public:
    explicit PreviewWindow(QWidget* owner = nullptr);
    ~PreviewWindow() override;

    // Plays the program file from the start on the setup's calculator (its
    // model, its AppVars); a file that cannot be read shows why.
    void play(const QString& programPath, const calc::CalculatorSetup& setup = {});

    PreviewPlayer& player() { return player_; }

private:
    void display(const PreviewView& view);

    PreviewPlayer player_;
    LcdView* PreviewScreen = nullptr;
    QLabel* PreviewStatus = nullptr;
    QLabel* PreviewFrame = nullptr;
    QLabel* PreviewTime = nullptr;
    QLabel* PreviewRate = nullptr;
    QLabel* PreviewSound = nullptr;
    QPushButton* PreviewPlay = nullptr;
    QPushButton* PreviewRestart = nullptr;
    QPushButton* PreviewClear = nullptr;
};

}  // namespace zoetra
