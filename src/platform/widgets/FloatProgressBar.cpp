#include "platform/widgets/FloatProgressBar.h"

#include <QPainter>
#include <QStyleOptionProgressBar>

#include <cmath>

namespace zoetra {

namespace {

// The style draws bars in whole steps; this many of them make a fraction of
// a pixel the finest step a bar of any width can show.
constexpr int StyleSteps = 10000;

}  // namespace

FloatProgressBar::FloatProgressBar(QWidget* parent) : QWidget(parent) {}

bool FloatProgressBar::setValue(double value)
{
    if (!model_.setValue(value)) {
        return false;
    }
    update();
    emit valueChanged(value);
    return true;
}

bool FloatProgressBar::setMaximum(double maximum)
{
    if (!model_.setMaximum(maximum)) {
        return false;
    }
    update();
    emit maximumChanged(maximum);
    return true;
}

void FloatProgressBar::paintEvent(QPaintEvent* /*event*/)
{
    QStyleOptionProgressBar option;
    option.initFrom(this);
    option.minimum = 0;
    option.maximum = StyleSteps;
    option.progress = static_cast<int>(std::lround(model_.fraction() * StyleSteps));
    option.textVisible = false;
    option.state |= QStyle::State_Horizontal;
    QPainter painter(this);
    style()->drawControl(QStyle::CE_ProgressBar, &option, &painter, this);
}

}  // namespace zoetra
