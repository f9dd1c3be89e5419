#pragma once

#include "platform/MemoryWindowLayer.h"

#include <cstdio>
#include <functional>

namespace zoetra {

// The window layer of the headless converter: message boxes become text
// (the closing report on standard output, everything else on standard
// error), and the progress bars a line on standard error when it is a
// terminal.
class TerminalWindowLayer final : public MemoryWindowLayer {
public:
    TerminalWindowLayer();

    void showMessage(const QString& text, const QString& title, MessageIcon icon) override;
    // Runs `onYield` where there is one: the run's steps pass here often.
    void yieldToEvents() override
    {
        if (onYield) {
            onYield();
        }
    }
    bool setProgressValue(ProgressBar bar, double value) override;
    void setProgressPanelVisible(bool visible) override;

    // A bar of its own, e.g. for a video import before the run: the
    // fraction done 0..1 and a caption after it. Nothing when standard
    // error is no terminal.
    void drawBar(double fraction, const QString& caption);
    void clearProgress();

    std::function<void()> onYield;

private:
    void drawProgress();

    bool interactive_;
    bool drawn_ = false;
    double lastFraction_ = -1.0;
};

}  // namespace zoetra
