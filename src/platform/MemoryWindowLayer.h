#pragma once

#include "platform/ImagePictureArea.h"
#include "platform/ProgressBarModel.h"
#include "platform/WindowLayer.h"

#include <QStringList>

#include <array>
#include <functional>
#include <vector>

namespace zoetra {

// A window layer without a window: the controls are plain values, message
// boxes are recorded, and the frame list calls back when an entry is
// selected. It serves the headless converter and the tests.
class MemoryWindowLayer : public WindowLayer {
public:
    struct Message {
        QString text;
        QString title;
        MessageIcon icon;
    };

    void showMessage(const QString& text, const QString& title, MessageIcon icon) override;
    void yieldToEvents() override;
    void setProgressPanelVisible(bool visible) override;
    bool setProgressValue(ProgressBar bar, double value) override;
    bool setProgressMaximum(ProgressBar bar, double maximum) override;
    void setSizeCounterCaption(const QString& caption) override { sizeCounter = caption; }

    int detailSliderValue() const override { return detailSlider; }
    QString programName() const override { return fileName; }
    QString shellChoice() const override { return shell; }
    int loopingState() const override { return looping; }
    QString descriptionText() const override { return description; }
    VideoTarget videoTarget() const override { return target; }

    int frameListCount() const override { return static_cast<int>(frames.size()); }
    FrameLoad selectFrameListEntry(int index) override;
    QString frameListEntry(int index) const override { return frames.value(index); }

    PictureArea& filePreview() override { return filePreviewArea; }
    PictureArea& quickPrev() override { return quickPrevArea; }

    const ProgressBarModel& progress(ProgressBar bar) const
    {
        return bars[static_cast<std::size_t>(bar)];
    }

    // The controls, in their start state.
    int detailSlider = 0;
    QString fileName = QStringLiteral("Video");
    QString shell = QStringLiteral("Ion");
    int looping = 1;
    QString description = QStringLiteral("My First Video");
    VideoTarget target;
    QString sizeCounter = QStringLiteral("0b");
    bool progressPanelVisible = false;
    std::array<ProgressBarModel, 3> bars{};

    QStringList frames;
    int selectedFrame = -1;
    // Called with the position of every selected entry (the frame
    // selection); false when the frame could not be read.
    std::function<bool(int)> onFrameSelected;
    // Called at every yield and every message box, for tests that act
    // "during" a run.
    std::function<void()> onYield;
    std::function<void(const Message&)> onMessage;

    MemoryPictureArea filePreviewArea;
    MemoryPictureArea quickPrevArea;

    std::vector<Message> messages;
    long long yieldCount = 0;
    int progressPanelShows = 0;
};

}  // namespace zoetra
