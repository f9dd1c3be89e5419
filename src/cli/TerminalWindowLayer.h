#pragma once

#include "platform/MemoryWindowLayer.h"

#include <cstdio>

namespace zoetra {

// The window layer of the headless converter: message boxes become text
// (the closing report on standard output, everything else on standard
// error), and the progress bars a line on standard error when it is a
// terminal.
class TerminalWindowLayer final : public MemoryWindowLayer {
public:
    TerminalWindowLayer();

    void showMessage(const QString& text, const QString& title, MessageIcon icon) override;
    void yieldToEvents() override {}
    bool setProgressValue(ProgressBar bar, double value) override;
    void setProgressPanelVisible(bool visible) override;

private:
    void drawProgress();
    void clearProgress();

    bool interactive_;
    bool drawn_ = false;
    double lastFraction_ = -1.0;
};

}  // namespace zoetra
