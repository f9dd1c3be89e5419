#pragma once

#include "platform/ProgressBarModel.h"

#include <QWidget>

namespace zoetra {

// A progress bar that takes floating-point values and maxima, with the
// refusal rules of ProgressBarModel. It paints the filled share itself, so
// a fraction of a step shows.
class FloatProgressBar final : public QWidget {
    Q_OBJECT

public:
    explicit FloatProgressBar(QWidget* parent = nullptr);

    // Both return false, and change nothing, when the bar refuses the value.
    bool setValue(double value);
    bool setMaximum(double maximum);

    double value() const { return model_.value(); }
    double maximum() const { return model_.maximum(); }
    double fraction() const { return model_.fraction(); }

signals:
    void valueChanged(double value);
    void maximumChanged(double maximum);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ProgressBarModel model_;
};

}  // namespace zoetra
