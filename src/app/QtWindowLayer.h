#pragma once

#include "platform/WindowLayer.h"

#include <QElapsedTimer>

namespace zoetra {

class MainFrm;
class FloatProgressBar;

// The window layer of the conversion on the widgets of MainFrm.
class QtWindowLayer final : public WindowLayer {
public:
    // An event pass this soon after the last one is skipped: the run yields
    // before every byte, far more often than anything on screen can change.
    static constexpr qint64 YieldIntervalNs = 2'000'000;

    explicit QtWindowLayer(MainFrm& window);

    void showMessage(const QString& text, const QString& title, MessageIcon icon) override;
    void yieldToEvents() override;

    void setProgressPanelVisible(bool visible) override;
    bool setProgressValue(ProgressBar bar, double value) override;
    bool setProgressMaximum(ProgressBar bar, double maximum) override;
    void setSizeCounterCaption(const QString& caption) override;

    int detailSliderValue() const override;
    QString programName() const override;
    QString shellChoice() const override;
    int loopingState() const override;
    QString descriptionText() const override;
    VideoTarget videoTarget() const override;

    int frameListCount() const override;
    FrameLoad selectFrameListEntry(int index) override;
    QString frameListEntry(int index) const override;

    PictureArea& filePreview() override;
    PictureArea& quickPrev() override;

private:
    FloatProgressBar& progressBar(ProgressBar bar) const;

    MainFrm& window_;
    QElapsedTimer lastPass_;
};

}  // namespace zoetra
