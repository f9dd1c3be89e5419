#include "cli/TerminalWindowLayer.h"

#include "platform/Terminal.h"

#include <cmath>

namespace zoetra {

TerminalWindowLayer::TerminalWindowLayer() : interactive_(isTerminal(stderr)) {}

void TerminalWindowLayer::showMessage(const QString& text, const QString& title, MessageIcon icon)
{
    MemoryWindowLayer::showMessage(text, title, icon);
    clearProgress();
    QString plain = text;
    plain.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    std::FILE* stream = icon == MessageIcon::Information ? stdout : stderr;
    std::fprintf(stream, "%s\n", plain.toLocal8Bit().constData());
    std::fflush(stream);
}

bool TerminalWindowLayer::setProgressValue(ProgressBar bar, double value)
{
    const bool accepted = MemoryWindowLayer::setProgressValue(bar, value);
    if (accepted && progressPanelVisible && bar != ProgressBar::CompressionVal) {
        drawProgress();
    }
    return accepted;
}

void TerminalWindowLayer::setProgressPanelVisible(bool visible)
{
    MemoryWindowLayer::setProgressPanelVisible(visible);
    if (!visible) {
        clearProgress();
    }
}

void TerminalWindowLayer::drawProgress()
{
    if (!interactive_) {
        return;
    }
    const ProgressBarModel& framesBar = progress(ProgressBar::TotalProgress);
    const ProgressBarModel& data = progress(ProgressBar::ByteWriter);
    drawBar((framesBar.fraction() + data.fraction()) / 2.0, sizeCounter);
}

void TerminalWindowLayer::drawBar(double fraction, const QString& caption)
{
    if (!interactive_) {
        return;
    }
    const double shown = std::floor(fraction * 100.0) / 100.0;
    if (shown == lastFraction_) {
        return;
    }
    lastFraction_ = shown;
    const int filled = static_cast<int>(shown * 40.0);
    std::fprintf(stderr, "\r[%-40s] %3d%%  %s", QByteArray(filled, '#').constData(),
                 static_cast<int>(shown * 100.0), caption.toLocal8Bit().constData());
    std::fflush(stderr);
    drawn_ = true;
}

void TerminalWindowLayer::clearProgress()
{
    if (drawn_) {
        std::fprintf(stderr, "\r%60s\r", "");
        std::fflush(stderr);
        drawn_ = false;
        lastFraction_ = -1.0;
    }
}

}  // namespace zoetra
