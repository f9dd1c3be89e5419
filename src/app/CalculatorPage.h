#pragma once

#include "shared/VideoTarget.h"

#include <QFrame>
#include <QStringList>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QSpinBox;

namespace zoetra {

// The "Calculator" page: what the video is made for. Each choice is a list
// of the target's options; the page hands out the target they make and
// tells what it holds and how fast it plays.
class CalculatorPage : public QFrame {
    Q_OBJECT

public:
    explicit CalculatorPage(QWidget* parent = nullptr);

    VideoTarget target() const;
    void setFormat(StreamFormat format);
    // The rate of the frames in use, which the user may change after.
    void setFramesPerSecond(double framesPerSecond);
    // The files a run delivered, by name.
    void showDelivered(const QStringList& paths);

signals:
    void formatChanged(zoetra::StreamFormat format);

private:
    // The archive's controls, the pace and the limit after any change.
    void showTarget();

    QComboBox* CalcModel = nullptr;
    QComboBox* CalcFormat = nullptr;
    QDoubleSpinBox* CalcRate = nullptr;
    QLabel* CalcPace = nullptr;
    // The storage as a list, and the archive box that says the same: ticked
    // is the archive, unticked RAM.
    QComboBox* CalcStorage = nullptr;
    QCheckBox* CalcArchive = nullptr;
    // Bytes; the lowest value is "the empty archive".
    QSpinBox* CalcFreeArchive = nullptr;
    QLabel* CalcLimit = nullptr;
    QLabel* CalcDelivered = nullptr;
};

}  // namespace zoetra
