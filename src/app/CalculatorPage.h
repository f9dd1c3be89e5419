#pragma once

#include "shared/VideoTarget.h"

#include <QFrame>

class QComboBox;
class QLabel;

namespace zoetra {

// The "Calculator" page: what the video is made for. Each choice is a list
// of the target's options; the page hands out the target they make.
class CalculatorPage : public QFrame {
    Q_OBJECT

public:
    explicit CalculatorPage(QWidget* parent = nullptr);

    VideoTarget target() const;
    void setFormat(StreamFormat format);

signals:
    void formatChanged(zoetra::StreamFormat format);

private:
    QComboBox* CalcModel = nullptr;
    QComboBox* CalcStorage = nullptr;
    QComboBox* CalcFormat = nullptr;
    QLabel* CalcPace = nullptr;
};

}  // namespace zoetra
