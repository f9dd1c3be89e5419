#include "SampleAnimation.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <numbers>

namespace samplegen {

QImage sampleFrame(int index)
{
    QImage image(FrameWidth, FrameHeight, QImage::Format_RGB32);
    QPainter painter(&image);

    // Three bands: dark (black under the default thresholds), middle grey
    // (dithered) and light (white), with a horizon strip of mid grey.
    painter.fillRect(0, 0, 32, FrameHeight, QColor(50, 50, 50));
    painter.fillRect(32, 0, 32, FrameHeight, QColor(128, 128, 128));
    painter.fillRect(64, 0, 32, FrameHeight, QColor(215, 215, 215));
    painter.fillRect(0, 52, FrameWidth, 12, QColor(120, 140, 110));

    // The ball travels across and back once over the clip, bouncing twice.
    const double t = static_cast<double>(index) / FrameCount;
    const double across = t < 0.5 ? t * 2.0 : 2.0 - t * 2.0;
    const double cx = 12.0 + across * 72.0;
    const double cy = 40.0 - std::abs(std::sin(t * 2.0 * std::numbers::pi * 2.0)) * 26.0;

    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(QColor(255, 255, 255), 2));
    painter.setBrush(QColor(10, 10, 10));
    painter.drawEllipse(QPointF(cx, cy), 9.0, 9.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(235, 235, 235));
    painter.drawEllipse(QPointF(cx - 3.0, cy - 3.0), 2.5, 2.5);
    painter.end();
    return image;
}

QString sampleFrameName(int index)
{
    const char* suffix = index % 2 == 0 ? "bmp" : "jpg";
    return QStringLiteral("sample%1.%2").arg(index, 2, 10, QLatin1Char('0')).arg(QLatin1String(suffix));
}

}  // namespace samplegen
