#include "platform/widgets/WidgetPictureArea.h"

#include <QPainter>

namespace zoetra {

WidgetPictureArea::WidgetPictureArea(QWidget* parent) : QWidget(parent)
{
    // The whole surface is painted every time.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void WidgetPictureArea::refresh()
{
    update();
}

void WidgetPictureArea::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.drawImage(0, 0, toImage());
}

}  // namespace zoetra
